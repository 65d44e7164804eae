#pragma once
// A small document object model after the W3C DOM Level 2 core. The document owns every
// node it creates, in or out of its tree, and frees them all at once: nothing leaks however
// a builder uses it. Nodes, their names and texts and their child lists all live in the
// document's own pool and own no other memory, so building a tree costs a few large
// allocations, and freeing one, however large or deep, is giving back the pool's blocks.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "textlib/errors.h"

namespace textlib {

enum DomNodeType : int32_t {
  kElementNode = 1,
  kAttributeNode = 2,
  kTextNode = 3,
  kCDataSectionNode = 4,
  kEntityReferenceNode = 5,
  kProcessingInstructionNode = 7,
  kCommentNode = 8,
  kDocumentNode = 9,
  kDocumentTypeNode = 10,
};

class DomException : public Exception {
 public:
  explicit DomException(int32_t code);
  int32_t Code() const { return code_; }
  // The fixed message of a code (empty for an unknown code).
  static std::u16string MessageOf(int32_t code);

 private:
  int32_t code_;
};

class TNode;
class TAttr;

// The memory of one document: bump allocation from large blocks, with freed pieces kept by
// size for reuse (child lists grow by doubling, so their old arrays come back often). When the
// pool dies, a few of its blocks are kept for the next document of the same thread: memory
// fresh from the system costs a page fault every 4 KB, more than building the tree in it.
class TNodePool {
 public:
  static constexpr size_t kBlockSize = 256 * 1024;
  TNodePool() = default;
  ~TNodePool();
  TNodePool(const TNodePool&) = delete;
  TNodePool& operator=(const TNodePool&) = delete;

  // Small pieces come from the free list or the current block inline; the rest out of line.
  void* Allocate(size_t bytes) {
    if (bytes <= 512) {
      const size_t rounded = bytes == 0 ? 16 : (bytes + 15) & ~size_t{15};
      const size_t cls = rounded / 16 - 1;
      if (FreeBlock* block = free_[cls]) {
        free_[cls] = block->next;
        return block;
      }
      if (rounded <= left_) {
        void* memory = next_;
        next_ += rounded;
        left_ -= rounded;
        return memory;
      }
    }
    return AllocateSlow(bytes);
  }
  void Release(void* memory, size_t bytes);
  // A copy of the text in the pool (never released on its own).
  std::u16string_view Copy(std::u16string_view text);

 private:
  struct FreeBlock {
    FreeBlock* next;
  };
  // Sizes up to 512 bytes in steps of 16, larger ones as powers of two.
  static constexpr size_t kClasses = 32 + 64;
  static size_t ClassOf(size_t bytes, size_t& rounded);
  void* AllocateSlow(size_t bytes);

  std::vector<std::unique_ptr<std::byte[]>> blocks_;  // kBlockSize each
  std::vector<std::unique_ptr<std::byte[]>> large_;   // pieces too big to share a block
  std::byte* next_ = nullptr;
  size_t left_ = 0;
  FreeBlock* free_[kClasses] = {};
};

// The node pointers of a child list or an attribute map, in the document's pool. It owns no
// memory of its own, so a document frees its nodes by releasing its blocks, without a walk.
// A list of a node outside any document (a lone document type) takes heap memory instead.
class TNodeArray {
 public:
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  TNode* operator[](size_t i) const { return data_[i]; }
  TNode*& operator[](size_t i) { return data_[i]; }
  TNode* back() const { return data_[size_ - 1]; }
  TNode* const* begin() const { return data_; }
  TNode* const* end() const { return data_ + size_; }
  void push_back(TNodePool* pool, TNode* node) {
    if (size_ == capacity_) Grow(pool);
    data_[size_++] = node;
  }
  void insert(TNodePool* pool, size_t at, TNode* node);
  void erase(size_t at);
  void clear() { size_ = 0; }
  // Keeps the entries that are not null, in order.
  void RemoveNulls();
  // Gives back heap memory; pooled memory goes with the pool.
  void FreeHeap();

 private:
  void Grow(TNodePool* pool);
  TNode** data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  bool heap_ = false;  // data_ is from the heap, not from a pool
};

class TElement;
class TDocument;
class TDocumentType;

class TNodeList {
 public:
  // The list takes its memory from the owner's document, if it has one.
  explicit TNodeList(TNode* owner) : owner_(owner) {}
  virtual ~TNodeList();
  TNodeList(const TNodeList&) = delete;
  TNodeList& operator=(const TNodeList&) = delete;

  virtual int64_t Length() const { return static_cast<int64_t>(items_.size()); }
  // None for an index outside 0..Length-1.
  virtual TNode* Item(int64_t index) const;
  TNode* Owner() const { return owner_; }

 protected:
  friend class TNode;
  friend class TAttr;
  friend class TDocument;
  int64_t IndexOf(const TNode* node) const;
  TNodePool* Pool() const;

  TNode* owner_;
  TNodeArray items_;
};

// Attributes by name. A few attributes are searched in order; from kIndexFrom on a hash index
// finds names and replaced entries leave a hole that is squeezed out lazily, so thousands of
// attributes in one tag stay linear.
class TNamedNodeMap : public TNodeList {
 public:
  using TNodeList::TNodeList;
  int64_t Length() const override;
  TNode* Item(int64_t index) const override;
  // The node whose NodeName equals the name exactly, or none.
  TNode* GetNamedItem(std::u16string_view name) const;
  // Gives back the node of the same name that it replaces, or none.
  TNode* SetNamedItem(TAttr* attribute);

 private:
  static constexpr size_t kIndexFrom = 16;
  void Compact() const;
  // Position of the entry of that name, or npos.
  size_t Find(std::u16string_view name) const;

  // Owned by the document, so that the map stays trivial to free.
  mutable std::unordered_map<std::u16string, size_t>* index_ = nullptr;
  mutable size_t holes_ = 0;  // only with an index
};

class TNode {
 public:
  virtual ~TNode();
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;

  virtual std::u16string NodeName() const;
  virtual std::u16string GetNodeValue() const { return std::u16string(nodeValue_); }
  virtual int32_t NodeType() const = 0;
  virtual TNode* ParentNode() const { return parent_; }
  virtual bool CanInsert(const TNode* child) const;
  virtual TNode* ImportNode(TDocument* document, bool deep) const;
  virtual void SetNodeValue(std::u16string_view value);
  virtual TNode* CloneNode(bool deep) const;

  TDocument* OwnerDocument() const { return ownerDocument_; }
  std::u16string_view Prefix() const { return prefix_; }
  std::u16string_view LocalName() const { return localName_; }
  std::u16string_view NodeValueField() const { return nodeValue_; }
  // NodeName() == name, without building the name.
  bool HasNodeName(std::u16string_view name) const;
  int32_t NamespaceIndex() const { return namespaceIndex_; }
  // NodeType() without the virtual call, for the builder's and the formatter's inner loops.
  int32_t Kind() const { return kind_; }
  const TNodeList& ChildNodes() const { return childNodes_; }
  TNamedNodeMap* Attributes() const { return attributes_; }
  TNode* FirstChild() const { return childNodes_.Item(0); }

  TNode* AppendChild(TNode* child) { return InsertBefore(child, nullptr); }
  TNode* InsertBefore(TNode* child, TNode* reference);
  TNode* RemoveChild(TNode* child);

 protected:
  explicit TNode(TDocument* owner) : ownerDocument_(owner), childNodes_(this) {}
  // Copies the name fields and the value of another node.
  void CopyFieldsFrom(const TNode& other);
  // A copy of the text in the document's pool.
  std::u16string_view Pooled(std::u16string_view text) const;

  friend class TDocument;
  friend class TNamedNodeMap;
  friend class TElement;
  friend class TAttr;

  TDocument* ownerDocument_;
  TNode* parent_ = nullptr;
  int32_t namespaceIndex_ = 0;
  // In the document's pool (a document type keeps its own).
  std::u16string_view prefix_, localName_, nodeValue_;
  TNamedNodeMap* attributes_ = nullptr;  // elements: their own map
  TNodeList childNodes_;
  uint32_t poolSize_ = 0;  // bytes taken from the document's pool, 0 when not pooled or freed
  uint8_t kind_ = 0;      // NodeType(), fixed when the node is made
};

class TCharacterData : public TNode {
 public:
  void SetNodeValue(std::u16string_view value) override;
  int64_t Length() const { return static_cast<int64_t>(nodeValue_.size()); }

 protected:
  using TNode::TNode;
};

class TTextNode : public TCharacterData {
 public:
  std::u16string NodeName() const override { return u"#text"; }
  int32_t NodeType() const override { return kTextNode; }
  TNode* ImportNode(TDocument* document, bool deep) const override;
  TNode* CloneNode(bool deep) const override;

 protected:
  friend class TDocument;
  using TCharacterData::TCharacterData;
};

class TCDATASection : public TTextNode {
 public:
  std::u16string NodeName() const override { return u"#cdata-section"; }
  int32_t NodeType() const override { return kCDataSectionNode; }
  TNode* ImportNode(TDocument* document, bool deep) const override;

 protected:
  friend class TDocument;
  using TTextNode::TTextNode;
};

class TComment : public TCharacterData {
 public:
  std::u16string NodeName() const override { return u"#comment"; }
  int32_t NodeType() const override { return kCommentNode; }
  TNode* ImportNode(TDocument* document, bool deep) const override;
  TNode* CloneNode(bool deep) const override;

 protected:
  friend class TDocument;
  using TCharacterData::TCharacterData;
};

class TAttr : public TNode {
 public:
  // The texts of the children in order, entity references resolved (unknown: a space).
  std::u16string GetNodeValue() const override;
  int32_t NodeType() const override { return kAttributeNode; }
  TNode* ParentNode() const override { return nullptr; }
  bool CanInsert(const TNode* child) const override;
  TNode* ImportNode(TDocument* document, bool deep) const override;
  void SetNodeValue(std::u16string_view value) override;
  TNode* CloneNode(bool deep) const override;
  TElement* OwnerElement() const;

 protected:
  friend class TDocument;
  using TNode::TNode;
};

class TElement : public TNode {
 public:
  int32_t NodeType() const override { return kElementNode; }
  bool CanInsert(const TNode* child) const override;
  TNode* ImportNode(TDocument* document, bool deep) const override;
  TNode* CloneNode(bool deep) const override;

  // Gives back the attribute of the same name that it replaces, or none.
  TAttr* SetAttributeNode(TAttr* attribute);
  TAttr* GetAttributeNode(std::u16string_view name) const;
  bool HasAttribute(std::u16string_view name) const { return GetAttributeNode(name) != nullptr; }
  // The tag number of NodeName in the shared tag list, given at creation (names never change).
  int32_t TagNumber() const { return tagNumber_; }

 protected:
  friend class TDocument;
  explicit TElement(TDocument* owner);

 private:
  TNamedNodeMap attributeMap_;
  int32_t tagNumber_ = 0;
};

class TEntityReference : public TNode {
 public:
  std::u16string NodeName() const override { return std::u16string(localName_); }
  int32_t NodeType() const override { return kEntityReferenceNode; }
  TNode* ImportNode(TDocument* document, bool deep) const override;
  TNode* CloneNode(bool deep) const override;

 protected:
  friend class TDocument;
  using TNode::TNode;
};

class TProcessingInstruction : public TNode {
 public:
  int32_t NodeType() const override { return kProcessingInstructionNode; }
  TNode* ImportNode(TDocument* document, bool deep) const override;
  TNode* CloneNode(bool deep) const override;
  std::u16string_view Target() const { return localName_; }
  std::u16string_view Data() const { return nodeValue_; }

 protected:
  friend class TDocument;
  using TNode::TNode;
};

class TDocumentType : public TNode {
 public:
  std::u16string NodeName() const override { return std::u16string(localName_); }
  int32_t NodeType() const override { return kDocumentTypeNode; }
  TNode* CloneNode(bool deep) const override;
  const std::u16string& PublicId() const { return publicId_; }
  const std::u16string& SystemId() const { return systemId_; }

 protected:
  friend class TDocument;
  friend class DomImplementation;
  TDocumentType(std::u16string_view name, std::u16string_view publicId,
                std::u16string_view systemId);

 private:
  std::u16string name_, publicId_, systemId_;
};

class TDocument : public TNode {
 public:
  ~TDocument() override;

  std::u16string NodeName() const override { return u"#document"; }
  int32_t NodeType() const override { return kDocumentNode; }
  bool CanInsert(const TNode* child) const override;
  // A new document with a copy of the type and an empty element named as the document
  // element; it is owned by the caller.
  TNode* CloneNode(bool deep) const override;
  std::unique_ptr<TDocument> CloneDocument() const;

  TElement* CreateElement(std::u16string_view name);
  // For a builder that has looked the name up in the tag list already.
  TElement* CreateElement(std::u16string_view name, int32_t tagNumber);
  TElement* CreateElementNS(std::u16string_view namespaceUri, std::u16string_view qualifiedName);
  TAttr* CreateAttribute(std::u16string_view name);
  TTextNode* CreateTextNode(std::u16string_view text);
  TComment* CreateComment(std::u16string_view text);
  TCDATASection* CreateCDATASection(std::u16string_view text);
  TEntityReference* CreateEntityReference(std::u16string_view name);
  TProcessingInstruction* CreateProcessingInstruction(std::u16string_view target,
                                                      std::u16string_view data);

  // The first element child, whatever its name; none if there is none.
  TElement* DocumentElement() const;
  TDocumentType* DocType() const { return docType_.get(); }
  // Frees the previous type.
  void SetDocType(std::unique_ptr<TDocumentType> type);

  // Index of a namespace URI, appended when missing; 0 is the empty URI.
  int32_t NamespaceIndexOf(std::u16string_view uri);
  const std::vector<std::u16string>& NamespaceUris() const { return namespaceUris_; }

  // Frees a node that is in no tree, with its children and attributes. For a builder that
  // drops what it replaced; the node must not be used afterwards.
  void FreeNode(TNode* node);
  // Nodes created and not yet freed (the document itself not counted).
  int64_t NodeCount() const { return liveNodes_; }

 private:
  friend class DomImplementation;
  friend class TNode;
  friend class TNamedNodeMap;
  TDocument();
  friend class TNodeList;
  template <class T>
  T* Make();
  void ChildListChanged(const TNode* appended);

  std::unique_ptr<TDocumentType> docType_;
  std::vector<std::u16string> namespaceUris_;
  // Declared before the nodes' list: it outlives the nodes, which are freed in ~TDocument.
  TNodePool pool_;
  std::vector<std::unique_ptr<std::unordered_map<std::u16string, size_t>>> attributeIndexes_;
  int64_t liveNodes_ = 0;
  mutable TElement* documentElement_ = nullptr;
  mutable bool documentElementKnown_ = true;
};

class DomImplementation {
 public:
  // A type that already belongs to a document raises DomException 4.
  static std::unique_ptr<TDocument> CreateDocument(std::unique_ptr<TDocumentType> type = nullptr);
  static std::unique_ptr<TDocumentType> CreateDocumentType(std::u16string_view name,
                                                           std::u16string_view publicId,
                                                           std::u16string_view systemId);
};

}  // namespace textlib
