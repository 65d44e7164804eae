#pragma once
// HTML support of the library: the reader that cuts a text into tokens (reader.h) with the
// tag and entity tables (tags.h), the document model (dom.h), the tree builder (parser.h)
// and the formatter that makes the indexed text of a page (formatter.h). Every indexed file
// goes through this code, so each stage is linear in its input, uses no recursion and ends
// in a result for any input.
#include "textlib/html/dom.h"
#include "textlib/html/formatter.h"
#include "textlib/html/parser.h"
#include "textlib/html/reader.h"
#include "textlib/html/tags.h"
