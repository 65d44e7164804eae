#include "textlib/html/dom.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "textlib/html/tags.h"

namespace textlib {
namespace {

constexpr const char16_t* kDomMessages[] = {
    u"Index or size is negative, or greater than the allowed value",
    u"The specified range of text does not fit into a DOMString",
    u"Node is inserted somewhere it doesn't belong ",
    u"Node is used in a different document than the one that created it",
    u"Invalid or illegal character is specified, such as in a name",
    u"Data is specified for a node which does not support data",
    u"An attempt is made to modify an object where modifications are not allowed",
    u"An attempt is made to reference a node in a context where it does not exist",
    u"Implementation does not support the requested type of object or operation",
    u"An attempt is made to add an attribute that is already in use elsewhere",
    u"An attempt is made to use an object that is not, or is no longer, usable",
    u"An invalid or illegal string is specified",
    u"An attempt is made to modify the type of the underlying object",
    u"An attempt is made to create or change an object in a way which is incorrect with "
    u"regard to namespaces",
    u"A parameter or an operation is not supported by the underlying object",
};

void ImportChildren(const TNode& from, TNode* to, TDocument* document) {
  // Iterative, so that a deep copy of a deeply nested tree cannot exhaust the stack.
  struct Frame {
    const TNode* from;
    TNode* to;
    int64_t next;
  };
  std::vector<Frame> stack{{&from, to, 0}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.from->ChildNodes().Length()) {
      stack.pop_back();
      continue;
    }
    const TNode* child = f.from->ChildNodes().Item(f.next++);
    TNode* copy = child->ImportNode(document, false);
    f.to->AppendChild(copy);
    if (child->NodeType() == kElementNode || child->NodeType() == kAttributeNode)
      stack.push_back({child, copy, 0});
  }
}

}  // namespace

DomException::DomException(int32_t code) : Exception(MessageOf(code)), code_(code) {}

std::u16string DomException::MessageOf(int32_t code) {
  if (code < 1 || code > 15) return {};
  return kDomMessages[code - 1];
}

// --- TNodePool ---

namespace {

// Blocks of documents that are gone, at most 8 MB per thread.
constexpr size_t kCachedBlocks = 32;
thread_local std::vector<std::unique_ptr<std::byte[]>> cachedBlocks;

}  // namespace

TNodePool::~TNodePool() {
  while (!blocks_.empty() && cachedBlocks.size() < kCachedBlocks) {
    cachedBlocks.push_back(std::move(blocks_.back()));
    blocks_.pop_back();
  }
}

size_t TNodePool::ClassOf(size_t bytes, size_t& rounded) {
  if (bytes <= 512) {
    rounded = bytes == 0 ? 16 : (bytes + 15) & ~size_t{15};
    return rounded / 16 - 1;
  }
  rounded = std::bit_ceil(bytes);
  return 32 + static_cast<size_t>(std::countr_zero(rounded)) - 10;
}

void* TNodePool::AllocateSlow(size_t bytes) {
  size_t rounded;
  const size_t cls = ClassOf(bytes, rounded);
  if (FreeBlock* block = free_[cls]) {
    free_[cls] = block->next;
    return block;
  }
  if (rounded > left_) {
    if (rounded > kBlockSize / 4) {
      // A large piece gets a block of its own; the current block goes on serving small ones.
      large_.push_back(std::make_unique_for_overwrite<std::byte[]>(rounded));
      return large_.back().get();
    }
    if (!cachedBlocks.empty()) {
      blocks_.push_back(std::move(cachedBlocks.back()));
      cachedBlocks.pop_back();
    } else {
      blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(kBlockSize));
    }
    next_ = blocks_.back().get();
    left_ = kBlockSize;
  }
  void* memory = next_;
  next_ += rounded;
  left_ -= rounded;
  return memory;
}

void TNodePool::Release(void* memory, size_t bytes) {
  if (memory == nullptr) return;
  size_t rounded;
  const size_t cls = ClassOf(bytes, rounded);
  auto* block = static_cast<FreeBlock*>(memory);
  block->next = free_[cls];
  free_[cls] = block;
}

std::u16string_view TNodePool::Copy(std::u16string_view text) {
  if (text.empty()) return {};
  auto* copy = static_cast<char16_t*>(Allocate(text.size() * sizeof(char16_t)));
  std::memcpy(copy, text.data(), text.size() * sizeof(char16_t));
  return {copy, text.size()};
}

// --- TNodeArray, TNodeList, TNamedNodeMap ---

void TNodeArray::Grow(TNodePool* pool) {
  // Most lists hold a few nodes; four pointers fill one piece of the pool's smallest classes.
  const size_t capacity = capacity_ < 4 ? 4 : capacity_ * 2;
  TNode** data = pool != nullptr ? static_cast<TNode**>(pool->Allocate(capacity * sizeof(TNode*)))
                                 : new TNode*[capacity];
  if (size_ > 0) std::memcpy(data, data_, size_ * sizeof(TNode*));
  if (heap_) delete[] data_;
  else if (pool != nullptr) pool->Release(data_, capacity_ * sizeof(TNode*));
  data_ = data;
  capacity_ = capacity;
  heap_ = pool == nullptr;
}

void TNodeArray::insert(TNodePool* pool, size_t at, TNode* node) {
  if (size_ == capacity_) Grow(pool);
  std::memmove(data_ + at + 1, data_ + at, (size_ - at) * sizeof(TNode*));
  data_[at] = node;
  ++size_;
}

void TNodeArray::erase(size_t at) {
  std::memmove(data_ + at, data_ + at + 1, (size_ - at - 1) * sizeof(TNode*));
  --size_;
}

void TNodeArray::RemoveNulls() {
  size_ = static_cast<size_t>(std::remove(data_, data_ + size_, nullptr) - data_);
}

void TNodeArray::FreeHeap() {
  if (heap_) delete[] data_;
  data_ = nullptr;
  size_ = capacity_ = 0;
  heap_ = false;
}

TNodeList::~TNodeList() { items_.FreeHeap(); }

TNodePool* TNodeList::Pool() const {
  TDocument* document = owner_->OwnerDocument();
  return document != nullptr ? &document->pool_ : nullptr;
}

TNode* TNodeList::Item(int64_t index) const {
  if (index < 0 || index >= static_cast<int64_t>(items_.size())) return nullptr;
  return items_[static_cast<size_t>(index)];
}

int64_t TNodeList::IndexOf(const TNode* node) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == node) return static_cast<int64_t>(i);
  return -1;
}

void TNamedNodeMap::Compact() const {
  if (holes_ == 0) return;
  auto& items = const_cast<TNodeArray&>(items_);
  items.RemoveNulls();
  holes_ = 0;
  for (size_t i = 0; i < items.size(); ++i) (*index_)[items[i]->NodeName()] = i;
}

size_t TNamedNodeMap::Find(std::u16string_view name) const {
  if (index_) {
    auto it = index_->find(std::u16string(name));
    return it == index_->end() ? std::u16string_view::npos : it->second;
  }
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->HasNodeName(name)) return i;
  return std::u16string_view::npos;
}

int64_t TNamedNodeMap::Length() const {
  return static_cast<int64_t>(items_.size() - holes_);
}

TNode* TNamedNodeMap::Item(int64_t index) const {
  Compact();
  return TNodeList::Item(index);
}

TNode* TNamedNodeMap::GetNamedItem(std::u16string_view name) const {
  const size_t at = Find(name);
  return at == std::u16string_view::npos ? nullptr : items_[at];
}

TNode* TNamedNodeMap::SetNamedItem(TAttr* attribute) {
  if (attribute->OwnerDocument() != owner_->OwnerDocument()) throw DomException(4);
  if (attribute->parent_ != nullptr && attribute->parent_ != owner_) throw DomException(10);
  TDocument* document = owner_->OwnerDocument();
  if (!index_ && items_.size() >= kIndexFrom) {
    auto index = std::make_unique<std::unordered_map<std::u16string, size_t>>();
    for (size_t i = 0; i < items_.size(); ++i) index->emplace(items_[i]->NodeName(), i);
    index_ = index.get();
    document->attributeIndexes_.push_back(std::move(index));
  }
  TNode* replaced = nullptr;
  std::u16string name = attribute->NodeName();
  if (!index_) {
    // Few entries: the replaced one is taken out, the new one goes to the end.
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i]->HasNodeName(name)) {
        replaced = items_[i];
        if (replaced == attribute) return nullptr;
        items_.erase(i);
        break;
      }
    }
    items_.push_back(&document->pool_, attribute);
    return replaced;
  }
  auto it = index_->find(name);
  if (it != index_->end()) {
    replaced = items_[it->second];
    if (replaced == attribute) return nullptr;
    items_[it->second] = nullptr;
    ++holes_;
    it->second = items_.size();
  } else {
    index_->emplace(std::move(name), items_.size());
  }
  items_.push_back(&document->pool_, attribute);
  if (holes_ > 32 && holes_ * 2 > items_.size()) Compact();
  return replaced;
}

// --- TNode ---

TNode::~TNode() = default;

std::u16string TNode::NodeName() const {
  if (prefix_.empty()) return std::u16string(localName_);
  std::u16string name;
  name.reserve(prefix_.size() + 1 + localName_.size());
  name.append(prefix_).append(u":").append(localName_);
  return name;
}

bool TNode::HasNodeName(std::u16string_view name) const {
  const int32_t type = kind_;
  if (type != kElementNode && type != kAttributeNode && type != kProcessingInstructionNode)
    return NodeName() == name;  // names of their own kind
  if (prefix_.empty()) return localName_ == name;
  return name.size() == prefix_.size() + 1 + localName_.size() && name.starts_with(prefix_) &&
         name[prefix_.size()] == u':' && name.ends_with(localName_);
}

bool TNode::CanInsert(const TNode*) const { return false; }

TNode* TNode::ImportNode(TDocument*, bool) const { throw DomException(9); }

void TNode::SetNodeValue(std::u16string_view) { throw DomException(7); }

TNode* TNode::CloneNode(bool) const { throw DomException(9); }

void TNode::CopyFieldsFrom(const TNode& other) {
  prefix_ = Pooled(other.prefix_);
  localName_ = Pooled(other.localName_);
  nodeValue_ = Pooled(other.nodeValue_);
}

std::u16string_view TNode::Pooled(std::u16string_view text) const {
  return ownerDocument_->pool_.Copy(text);
}

void TCharacterData::SetNodeValue(std::u16string_view value) { nodeValue_ = Pooled(value); }

TNode* TNode::InsertBefore(TNode* child, TNode* reference) {
  if (child->ownerDocument_ != ownerDocument_) throw DomException(4);
  if (child == reference) return child;
  auto& items = childNodes_.items_;
  TNodePool* pool = childNodes_.Pool();
  if (reference == nullptr && child->parent_ == nullptr) {
    // The builder's case: a new node appended.
    items.push_back(pool, child);
    child->parent_ = this;
    if (kind_ == kDocumentNode) static_cast<TDocument*>(this)->ChildListChanged(child);
    return child;
  }
  size_t placed;
  if (reference != nullptr) {
    const int64_t at = childNodes_.IndexOf(reference);
    if (at < 0) throw DomException(8);
    placed = static_cast<size_t>(at);
    items.insert(pool, placed, child);
  } else {
    placed = items.size();
    items.push_back(pool, child);
  }
  if (child->parent_ != nullptr) {
    // Taken out of its old place afterwards: within the same list that is the other entry.
    auto& old = child->parent_->childNodes_.items_;
    for (size_t i = 0; i < old.size(); ++i) {
      if (old[i] == child && !(child->parent_ == this && i == placed)) {
        old.erase(i);
        break;
      }
    }
    if (child->parent_ != this && child->parent_->kind_ == kDocumentNode)
      static_cast<TDocument*>(child->parent_)->ChildListChanged(nullptr);
  }
  const bool moved = child->parent_ == this;
  child->parent_ = this;
  if (kind_ == kDocumentNode)
    static_cast<TDocument*>(this)->ChildListChanged(reference || moved ? nullptr : child);
  return child;
}

TNode* TNode::RemoveChild(TNode* child) {
  const int64_t at = childNodes_.IndexOf(child);
  if (at < 0) throw DomException(8);
  childNodes_.items_.erase(static_cast<size_t>(at));
  child->parent_ = nullptr;
  if (kind_ == kDocumentNode) static_cast<TDocument*>(this)->ChildListChanged(nullptr);
  return child;
}

// --- concrete nodes ---

TNode* TTextNode::ImportNode(TDocument* document, bool) const {
  return document->CreateTextNode(nodeValue_);
}
TNode* TTextNode::CloneNode(bool deep) const { return ImportNode(ownerDocument_, deep); }

TNode* TCDATASection::ImportNode(TDocument* document, bool) const {
  return document->CreateCDATASection(nodeValue_);
}

TNode* TComment::ImportNode(TDocument* document, bool) const {
  return document->CreateComment(nodeValue_);
}
TNode* TComment::CloneNode(bool deep) const { return ImportNode(ownerDocument_, deep); }

TNode* TEntityReference::ImportNode(TDocument* document, bool) const {
  return document->CreateEntityReference(localName_);
}
TNode* TEntityReference::CloneNode(bool deep) const { return ImportNode(ownerDocument_, deep); }

TNode* TProcessingInstruction::ImportNode(TDocument* document, bool) const {
  return document->CreateProcessingInstruction(localName_, nodeValue_);
}
TNode* TProcessingInstruction::CloneNode(bool deep) const {
  return ImportNode(ownerDocument_, deep);
}

std::u16string TAttr::GetNodeValue() const {
  std::u16string value;
  for (int64_t i = 0; i < childNodes_.Length(); ++i) {
    const TNode* child = childNodes_.Item(i);
    if (child->NodeType() == kTextNode) value += child->NodeValueField();
    else if (child->NodeType() == kEntityReferenceNode)
      value.push_back(static_cast<char16_t>(LookupEntityCode(child->NodeName())));
  }
  return value;
}

bool TAttr::CanInsert(const TNode* child) const {
  return child->NodeType() == kTextNode || child->NodeType() == kEntityReferenceNode;
}

TNode* TAttr::ImportNode(TDocument* document, bool) const {
  TAttr* copy = document->CreateAttribute(u"");
  copy->CopyFieldsFrom(*this);
  ImportChildren(*this, copy, document);
  return copy;
}

TNode* TAttr::CloneNode(bool deep) const { return ImportNode(ownerDocument_, deep); }

void TAttr::SetNodeValue(std::u16string_view value) {
  // The old children stay owned by the document; they are only taken out of the list.
  for (TNode* child : childNodes_.items_) child->parent_ = nullptr;
  childNodes_.items_.clear();
  AppendChild(ownerDocument_->CreateTextNode(value));
}

TElement* TAttr::OwnerElement() const { return static_cast<TElement*>(parent_); }

TElement::TElement(TDocument* owner) : TNode(owner), attributeMap_(this) {
  attributes_ = &attributeMap_;
}

bool TElement::CanInsert(const TNode* child) const {
  const int32_t t = child->NodeType();
  return t != 6 && t != kDocumentNode && t != kDocumentTypeNode && t != 12;
}

TNode* TElement::ImportNode(TDocument* document, bool deep) const {
  TElement* copy = document->CreateElement(u"", tagNumber_);
  copy->CopyFieldsFrom(*this);
  if (deep) ImportChildren(*this, copy, document);
  return copy;
}

TNode* TElement::CloneNode(bool deep) const { return ImportNode(ownerDocument_, deep); }

TAttr* TElement::SetAttributeNode(TAttr* attribute) {
  if (attribute->parent_ != nullptr) throw DomException(10);
  auto* replaced = static_cast<TAttr*>(attributes_->SetNamedItem(attribute));
  if (replaced != nullptr) replaced->parent_ = nullptr;
  attribute->parent_ = this;
  return replaced;
}

TAttr* TElement::GetAttributeNode(std::u16string_view name) const {
  return static_cast<TAttr*>(attributes_->GetNamedItem(name));
}

TDocumentType::TDocumentType(std::u16string_view name, std::u16string_view publicId,
                             std::u16string_view systemId)
    : TNode(nullptr), name_(name), publicId_(publicId), systemId_(systemId) {
  kind_ = kDocumentTypeNode;
  localName_ = name_;  // no document, so no pool: the name is kept here
}

TNode* TDocumentType::CloneNode(bool) const {
  return new TDocumentType(localName_, publicId_, systemId_);
}

// --- TDocument ---

TDocument::TDocument() : TNode(nullptr) {
  ownerDocument_ = this;
  kind_ = kDocumentNode;
  namespaceUris_.emplace_back();
}

// The nodes own nothing outside the pool (their texts, names and lists are in it, the
// attribute indexes belong to the document), so they need no destructor call: the pool
// gives back their memory whatever the nesting.
static_assert(std::is_trivially_destructible_v<TNodeArray>);
static_assert(std::is_trivially_destructible_v<std::u16string_view>);
TDocument::~TDocument() = default;

bool TDocument::CanInsert(const TNode* child) const {
  switch (child->NodeType()) {
    case kTextNode:
    case kProcessingInstructionNode:
    case kCommentNode:
      return true;
    case kElementNode:
      return DocumentElement() == nullptr;
    default:
      return false;
  }
}

std::unique_ptr<TDocument> TDocument::CloneDocument() const {
  std::unique_ptr<TDocumentType> type;
  if (docType_) type.reset(static_cast<TDocumentType*>(docType_->CloneNode(false)));
  auto copy = DomImplementation::CreateDocument(std::move(type));
  if (const TElement* root = DocumentElement()) copy->AppendChild(copy->CreateElement(root->NodeName()));
  return copy;
}

TNode* TDocument::CloneNode(bool) const { return CloneDocument().release(); }

template <class T>
T* TDocument::Make() {
  T* node = new (pool_.Allocate(sizeof(T))) T(this);
  node->poolSize_ = sizeof(T);
  node->kind_ = static_cast<uint8_t>(node->NodeType());
  ++liveNodes_;
  return node;
}

TElement* TDocument::CreateElement(std::u16string_view name) {
  return CreateElement(name, HtmlTagList().GetTagByName(name).Number);
}

TElement* TDocument::CreateElement(std::u16string_view name, int32_t tagNumber) {
  auto* e = Make<TElement>();
  e->localName_ = pool_.Copy(name);
  e->tagNumber_ = tagNumber;
  return e;
}

TElement* TDocument::CreateElementNS(std::u16string_view namespaceUri,
                                     std::u16string_view qualifiedName) {
  auto* e = Make<TElement>();
  const size_t colon = qualifiedName.find(u':');
  if (colon == std::u16string_view::npos) {
    e->localName_ = pool_.Copy(qualifiedName);
  } else {
    e->prefix_ = pool_.Copy(qualifiedName.substr(0, colon));
    e->localName_ = pool_.Copy(qualifiedName.substr(colon + 1));
  }
  e->tagNumber_ = HtmlTagList().GetTagByName(qualifiedName).Number;
  e->namespaceIndex_ = NamespaceIndexOf(namespaceUri);
  return e;
}

TAttr* TDocument::CreateAttribute(std::u16string_view name) {
  auto* a = Make<TAttr>();
  a->localName_ = pool_.Copy(name);
  return a;
}

TTextNode* TDocument::CreateTextNode(std::u16string_view text) {
  auto* t = Make<TTextNode>();
  t->nodeValue_ = pool_.Copy(text);
  return t;
}

TComment* TDocument::CreateComment(std::u16string_view text) {
  auto* c = Make<TComment>();
  c->nodeValue_ = pool_.Copy(text);
  return c;
}

TCDATASection* TDocument::CreateCDATASection(std::u16string_view text) {
  auto* c = Make<TCDATASection>();
  c->nodeValue_ = pool_.Copy(text);
  return c;
}

TEntityReference* TDocument::CreateEntityReference(std::u16string_view name) {
  auto* r = Make<TEntityReference>();
  r->localName_ = pool_.Copy(name);
  return r;
}

TProcessingInstruction* TDocument::CreateProcessingInstruction(std::u16string_view target,
                                                               std::u16string_view data) {
  auto* p = Make<TProcessingInstruction>();
  p->localName_ = pool_.Copy(target);
  p->nodeValue_ = pool_.Copy(data);
  return p;
}

void TDocument::ChildListChanged(const TNode* appended) {
  // Appending leaves a known document element as it is; anything else looks again.
  if (appended != nullptr && documentElementKnown_) {
    if (documentElement_ == nullptr && appended->NodeType() == kElementNode)
      documentElement_ = const_cast<TElement*>(static_cast<const TElement*>(appended));
    return;
  }
  documentElementKnown_ = false;
}

TElement* TDocument::DocumentElement() const {
  if (!documentElementKnown_) {
    documentElement_ = nullptr;
    for (TNode* child : childNodes_.items_) {
      if (child->NodeType() == kElementNode) {
        documentElement_ = static_cast<TElement*>(child);
        break;
      }
    }
    documentElementKnown_ = true;
  }
  return documentElement_;
}

void TDocument::SetDocType(std::unique_ptr<TDocumentType> type) {
  if (type) type->ownerDocument_ = this;
  docType_ = std::move(type);
}

int32_t TDocument::NamespaceIndexOf(std::u16string_view uri) {
  for (size_t i = 0; i < namespaceUris_.size(); ++i)
    if (namespaceUris_[i] == uri) return static_cast<int32_t>(i);
  namespaceUris_.emplace_back(uri);
  return static_cast<int32_t>(namespaceUris_.size() - 1);
}

void TDocument::FreeNode(TNode* node) {
  if (node == nullptr || node == this || node->ownerDocument_ != this) return;
  if (node->parent_ != nullptr) return;  // still in a tree
  // A node met twice (a misused map can hold a child too) is freed once: a freed node
  // keeps its size 0 until the walk ends, and the walk takes nothing from the pool.
  std::vector<TNode*> pending{node};
  while (!pending.empty()) {
    TNode* n = pending.back();
    pending.pop_back();
    const size_t size = n->poolSize_;
    if (size == 0) continue;  // not pooled, or freed already
    for (TNode* child : n->childNodes_.items_) pending.push_back(child);
    if (n->attributes_) {
      for (TNode* attribute : n->attributes_->items_)
        if (attribute != nullptr) pending.push_back(attribute);
    }
    n->poolSize_ = 0;
    --liveNodes_;
    pool_.Release(n, size);
  }
}

std::unique_ptr<TDocument> DomImplementation::CreateDocument(std::unique_ptr<TDocumentType> type) {
  if (type && type->OwnerDocument() != nullptr) {
    type.release();  // it belongs to that document, which frees it
    throw DomException(4);
  }
  std::unique_ptr<TDocument> document(new TDocument());
  document->SetDocType(std::move(type));
  return document;
}

std::unique_ptr<TDocumentType> DomImplementation::CreateDocumentType(std::u16string_view name,
                                                                     std::u16string_view publicId,
                                                                     std::u16string_view systemId) {
  return std::unique_ptr<TDocumentType>(new TDocumentType(name, publicId, systemId));
}

}  // namespace textlib
