// The XML document helper: the read-only layer through which every configuration file is read.
//
// The operations keep the shape of a DOM helper driven through automation: a caller holds a
// document, an element, an attribute or a node list as a counted reference that may be absent,
// selects nodes with XPath texts, counts them and reads attribute and node texts. Behind them
// stands pugixml with its XPath 1.0 engine:
//
//   DOM document object            XmlDocument (an XmlNode of the document node)
//   element / attribute node       XmlNode (a pugi::xpath_node plus a reference on its document)
//   node list                      XmlNodeList (a sorted pugi::xpath_node_set plus a cursor)
//   selectSingleNode / selectNodes SelectNode / SelectNodeList (XPath 1.0, document order)
//   getAttributeNode + text        GetAttributeText
//   IXMLDOMNode.text               XmlNode::Text
//   IXMLDOMNodeList.length / item  XmlNodeList::Length / Item
//   IXMLDOMNodeList.nextNode       XmlNodeList::NextNode
//   load + parseError              LoadXmlDocument (the diagnostic goes to DebugTrace only)
//
// A node keeps its document alive, as a DOM node holds its owner document, so a node or list
// stays valid after the document reference was dropped. Copies of a reference share the
// object: copies of a node list share its nextNode cursor.
//
// Absent results never throw; an XPath text that does not compile, or that does not give a node
// set, selects nothing. Only std::bad_alloc escapes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "velluma/wintypes.h"

namespace velluma {

// A UTF-16 text argument: a zero-terminated string (a null pointer reads as the empty text, as
// a null BSTR does), a std::u16string or a view. The constructors are implicit on purpose, so
// that every caller passes literals, strings and BSTRs alike; being a view, it serves only as a
// parameter.
class XmlArg {
 public:
  XmlArg() = default;
  XmlArg(const char16_t* text);
  XmlArg(std::u16string_view text) : text_(text) {}
  XmlArg(const std::u16string& text) : text_(text) {}

  std::u16string_view view() const { return text_; }

 private:
  std::u16string_view text_;
};

// A counted reference to a document, element, attribute or other node; default-constructed it
// is absent (null).
class XmlNode {
 public:
  XmlNode() = default;

  explicit operator bool() const { return static_cast<bool>(node_); }
  bool IsNull() const { return !node_; }
  bool IsDocument() const;
  bool IsElement() const;

  // IXMLDOMNode.text: an attribute's value; for an element or the document the texts of all
  // descendant text and CDATA sections in document order, taken unchanged (surrounding white
  // space included). Empty for an absent node.
  std::u16string Text() const;
  // IXMLDOMNode.nodeName: the element or attribute name; "#document", "#text",
  // "#cdata-section", "#comment" for the other node kinds. Empty for an absent node.
  std::u16string Name() const;

  // Two references to the same node of the same document.
  friend bool operator==(const XmlNode& a, const XmlNode& b) {
    return a.doc_ == b.doc_ && a.node_ == b.node_;
  }

 private:
  friend class XmlNodeList;
  friend class XmlAccess;
  XmlNode(std::shared_ptr<const pugi::xml_document> doc, pugi::xpath_node node)
      : doc_(std::move(doc)), node_(node) {}

  std::shared_ptr<const pugi::xml_document> doc_;
  pugi::xpath_node node_;
};

// A document is referenced as its document node.
using XmlDocument = XmlNode;

// A counted reference to a node list in document order; default-constructed it is absent.
class XmlNodeList {
 public:
  XmlNodeList() = default;

  explicit operator bool() const { return static_cast<bool>(list_); }
  bool IsNull() const { return !list_; }

  // IXMLDOMNodeList.length; 0 for an absent list.
  int Length() const;
  // IXMLDOMNodeList.item: the node at a 0-based index; absent when the index is out of range.
  XmlNode Item(int nIndex) const;
  // IXMLDOMNodeList.nextNode: the node after the previous one (the first on the first call),
  // absent after the last. The cursor belongs to the list and is shared by its copies.
  XmlNode NextNode() const;
  // IXMLDOMNodeList.reset: the next NextNode starts again at the first node.
  void Reset() const;

 private:
  friend class XmlAccess;
  struct State;
  explicit XmlNodeList(std::shared_ptr<State> list) : list_(std::move(list)) {}

  std::shared_ptr<State> list_;
};

// A new, empty document (never absent).
XmlDocument CreateDomDocument();

// The document parsed from the file, or absent when no file exists at the path (no document is
// then created), the file cannot be read, its encoding is not supported or it is not
// well-formed. A parse failure composes a diagnostic text for DebugTrace and nothing else.
// Encodings: UTF-8 (with or without byte order mark), UTF-16 (with byte order mark, or without
// one when the file starts with "<?"), and by the declaration's encoding name ISO-8859-1 and
// the code page 936 family (GBK, GB2312, CP936).
XmlDocument LoadXmlDocument(XmlArg szPath);

// Loads the document and selects szRootName on it (callers pass the bare root element name, so
// the root is found as the child of the document node). Returns the document and stores the root
// element in root when that is an element; otherwise returns absent: root is then left untouched
// when the document could not be loaded, and set to absent when it loaded without such a root.
XmlDocument OpenXmlRoot(XmlArg szPath, XmlArg szRootName, XmlNode& root);

// selectSingleNode: the first node, in document order, that the XPath text selects from the
// context node; absent when nothing matches, the text is no valid node-set expression or the
// context is absent.
XmlNode SelectNode(const XmlNode& pNode, XmlArg szXPath);

// The element selected by "name[index + 1]", or ".//name[index + 1]" when bDeep is non-zero.
// Absent for an absent context. Note that by XPath's rules the deep form selects the first
// element, in document order, that is the (index + 1)-th child of that name of its own parent,
// not the (index + 1)-th descendant of that name.
XmlNode SelectNthElement(const XmlNode& pNode, XmlArg szName, int nIndex, BOOL bDeep);

// selectNodes of "name", or ".//name" (all descendants) when bDeep is non-zero. Absent for an
// absent context or an invalid XPath text; an empty list when nothing matches.
XmlNodeList SelectNodeList(const XmlNode& pNode, XmlArg szName, BOOL bDeep);

// The length of SelectNodeList with the same arguments; 0 for an absent context or list.
int CountNodes(const XmlNode& pNode, XmlArg szName, BOOL bDeep);

// The text of the element's attribute of that name (exact, case-sensitive); the default text
// (empty when absent) when the element is absent, is no element or has no such attribute.
// Numbers are not parsed here.
std::u16string GetAttributeText(const XmlNode& pElement, XmlArg szAttrName,
                                XmlArg szDefault = XmlArg());

}  // namespace velluma
