#include "xml/xmldoc.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "vwin32/files.h"
#include "vwin32/format.h"
#include "vwin32/strings.h"
#include "xml/trace.h"
#include "xml/xmlencoding.h"

namespace velluma {

struct XmlNodeList::State {
  std::shared_ptr<const pugi::xml_document> doc;
  pugi::xpath_node_set nodes;  // in document order
  size_t cursor = 0;           // index of the node that NextNode gives next
};

// The one place that builds references and looks inside them.
class XmlAccess {
 public:
  static XmlNode Node(std::shared_ptr<const pugi::xml_document> doc, pugi::xpath_node node) {
    if (!node) return XmlNode();
    return XmlNode(std::move(doc), node);
  }
  static const std::shared_ptr<const pugi::xml_document>& Doc(const XmlNode& node) {
    return node.doc_;
  }
  static const pugi::xpath_node& Raw(const XmlNode& node) { return node.node_; }
  static XmlNodeList List(std::shared_ptr<const pugi::xml_document> doc,
                          pugi::xpath_node_set nodes) {
    auto state = std::make_shared<XmlNodeList::State>();
    state->doc = std::move(doc);
    state->nodes = std::move(nodes);
    return XmlNodeList(std::move(state));
  }
};

namespace {

// The parser's defaults (CDATA sections, character and entity references, end-of-line and
// attribute white-space normalisation) plus white-space-only text when it is an element's only
// content, so that <Style> </Style> reads as " " as the node text of a DOM would give it.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single;

// The failure report of a load, in the form the load's parse error object would have given it:
// reason, text of the offending line and its 1-based number. It goes to the debug trace only.
void TraceParseError(std::u16string_view reason, std::u16string_view source, int line) {
  std::u16string text = u"xml error:";
  text += u"\n====================================================";
  text += u"\nReason: ";
  text += reason;
  text += u"\nSource: ";
  text += source;
  text += vwin32::Format(u"\nLine: %d", line);
  text += u"\n";
  DebugTrace(text);
}

// The line of the UTF-8 text that holds the byte offset, without its line end, and its number.
std::u16string SourceLineAt(const std::string& text, ptrdiff_t offset, int& line) {
  const size_t at = std::min(static_cast<size_t>(std::max<ptrdiff_t>(offset, 0)), text.size());
  size_t begin = at == 0 ? std::string::npos : text.rfind('\n', at - 1);
  begin = begin == std::string::npos ? 0 : begin + 1;
  size_t end = text.find('\n', begin);
  if (end == std::string::npos) end = text.size();
  if (end > begin && text[end - 1] == '\r') --end;
  const auto breaks = std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(begin), '\n');
  line = static_cast<int>(std::min<ptrdiff_t>(breaks + 1, INT_MAX));
  return vwin32::FromUtf8(std::string_view(text).substr(begin, end - begin));
}

// The whole file; false when it is no regular file or cannot be read (a pipe or device would
// block or never end).
bool ReadWholeFile(const std::string& fsPath, std::string& bytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fsPath, ec)) return false;
  std::ifstream in(fsPath, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// XPath texts and names are UTF-8 for the library; an embedded zero unit would cut the text
// short, so such a text selects nothing.
bool ToParserText(std::u16string_view xpath, std::string& text) {
  if (xpath.find(u'\0') != std::u16string_view::npos) return false;
  text = vwin32::ToUtf8(xpath);
  return true;
}

// A compiled node-set query, or false for a text that is no valid node-set expression. (The
// library reports a syntax error by exception when built with exceptions, else by an empty
// query; both are handled.)
bool CompileNodeSetQuery(std::u16string_view xpath, std::unique_ptr<pugi::xpath_query>& query) {
  std::string text;
  if (!ToParserText(xpath, text)) return false;
  try {
    query = std::make_unique<pugi::xpath_query>(text.c_str());
  } catch (const pugi::xpath_exception&) {
    return false;
  }
  return *query && query->return_type() == pugi::xpath_type_node_set;
}

// The XPath text of SelectNodeList: the element name on the child axis ("name"), or among all
// descendants (".//name") when the depth flag is set.
std::u16string StepText(std::u16string_view name, BOOL bDeep) {
  std::u16string text = bDeep ? u".//" : u"";
  text += name;
  return text;
}

}  // namespace

XmlArg::XmlArg(const char16_t* text) : text_(vwin32::View(text)) {}

bool XmlNode::IsDocument() const {
  return !node_.attribute() && node_.node().type() == pugi::node_document;
}

bool XmlNode::IsElement() const {
  return !node_.attribute() && node_.node().type() == pugi::node_element;
}

std::u16string XmlNode::Text() const {
  if (node_.attribute()) return vwin32::FromUtf8(node_.attribute().value());
  const pugi::xml_node top = node_.node();
  switch (top.type()) {
    case pugi::node_null:
      return {};
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
    case pugi::node_pi:
      return vwin32::FromUtf8(top.value());
    default:
      break;
  }
  // All text and CDATA below the node in document order, walked without recursion so that
  // deeply nested files cannot exhaust the stack.
  std::string text;
  pugi::xml_node cur = top.first_child();
  while (cur) {
    if (cur.type() == pugi::node_pcdata || cur.type() == pugi::node_cdata) text += cur.value();
    if (pugi::xml_node child = cur.first_child()) {
      cur = child;
      continue;
    }
    while (cur != top && !cur.next_sibling()) cur = cur.parent();
    if (cur == top) break;
    cur = cur.next_sibling();
  }
  return vwin32::FromUtf8(text);
}

std::u16string XmlNode::Name() const {
  if (node_.attribute()) return vwin32::FromUtf8(node_.attribute().name());
  const pugi::xml_node node = node_.node();
  switch (node.type()) {
    case pugi::node_null:
      return {};
    case pugi::node_document:
      return u"#document";
    case pugi::node_pcdata:
      return u"#text";
    case pugi::node_cdata:
      return u"#cdata-section";
    case pugi::node_comment:
      return u"#comment";
    default:
      return vwin32::FromUtf8(node.name());
  }
}

int XmlNodeList::Length() const {
  if (!list_) return 0;
  return static_cast<int>(std::min<size_t>(list_->nodes.size(), INT_MAX));
}

XmlNode XmlNodeList::Item(int nIndex) const {
  if (!list_ || nIndex < 0 || static_cast<size_t>(nIndex) >= list_->nodes.size()) return {};
  return XmlAccess::Node(list_->doc, list_->nodes[static_cast<size_t>(nIndex)]);
}

XmlNode XmlNodeList::NextNode() const {
  if (!list_ || list_->cursor >= list_->nodes.size()) return {};
  return XmlAccess::Node(list_->doc, list_->nodes[list_->cursor++]);
}

void XmlNodeList::Reset() const {
  if (list_) list_->cursor = 0;
}

XmlDocument CreateDomDocument() {
  auto doc = std::make_shared<pugi::xml_document>();
  const pugi::xml_node root = *doc;
  return XmlAccess::Node(std::move(doc), pugi::xpath_node(root));
}

XmlDocument LoadXmlDocument(XmlArg szPath) {
  // A plain existence test first: no document is created for a missing file.
  if (!vwin32::FileExists(szPath.view())) return {};

  // The whole file is parsed before this returns (the DOM's async flag set to false).
  std::string bytes;
  if (!ReadWholeFile(vwin32::ToFsPath(szPath.view()), bytes)) {
    TraceParseError(u"The file cannot be read.", u"", 0);
    return {};
  }
  std::string text;
  std::u16string reason;
  if (!DecodeXmlBytes(bytes, text, reason)) {
    int line = 0;
    const std::u16string source = SourceLineAt(bytes, 0, line);
    TraceParseError(reason, source, line);
    return {};
  }

  auto doc = std::make_shared<pugi::xml_document>();
  const pugi::xml_parse_result result =
      doc->load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_utf8);
  if (!result) {
    int line = 0;
    const std::u16string source = SourceLineAt(text, result.offset, line);
    TraceParseError(vwin32::FromUtf8(result.description()), source, line);
    return {};
  }
  // The parser accepts several top-level elements; a well-formed document has exactly one, and a
  // second one must not be found by a root lookup.
  int elements = 0;
  for (pugi::xml_node child : doc->children()) {
    if (child.type() != pugi::node_element) continue;
    if (++elements == 2) {
      int line = 0;
      const std::u16string source = SourceLineAt(text, child.offset_debug(), line);
      TraceParseError(u"Only one top level element is allowed in an XML document.", source, line);
      return {};
    }
  }
  const pugi::xml_node root = *doc;
  return XmlAccess::Node(std::move(doc), pugi::xpath_node(root));
}

XmlDocument OpenXmlRoot(XmlArg szPath, XmlArg szRootName, XmlNode& root) {
  XmlDocument doc = LoadXmlDocument(szPath);
  if (!doc) return {};
  const XmlNode found = SelectNode(doc, szRootName);
  root = found.IsElement() ? found : XmlNode();
  if (!root) return {};
  return doc;
}

XmlNode SelectNode(const XmlNode& pNode, XmlArg szXPath) {
  // A DOM caller must not pass an absent context; here it simply selects nothing.
  if (!pNode) return {};
  std::unique_ptr<pugi::xpath_query> query;
  if (!CompileNodeSetQuery(szXPath.view(), query)) return {};
  // evaluate_node gives the first match in document order, as selectSingleNode does.
  return XmlAccess::Node(XmlAccess::Doc(pNode), query->evaluate_node(XmlAccess::Raw(pNode)));
}

XmlNode SelectNthElement(const XmlNode& pNode, XmlArg szName, int nIndex, BOOL bDeep) {
  if (!pNode) return {};
  // XPath positions are 1-based; the sum is formed in 64 bits so that INT_MAX cannot overflow.
  const std::u16string name(szName.view());
  const std::u16string xpath = vwin32::Format(bDeep ? u".//%s[%lld]" : u"%s[%lld]", name.c_str(),
                                              static_cast<long long>(nIndex) + 1);
  return SelectNode(pNode, xpath);
}

XmlNodeList SelectNodeList(const XmlNode& pNode, XmlArg szName, BOOL bDeep) {
  if (!pNode) return {};
  std::unique_ptr<pugi::xpath_query> query;
  if (!CompileNodeSetQuery(StepText(szName.view(), bDeep), query)) return {};
  pugi::xpath_node_set nodes = query->evaluate_node_set(XmlAccess::Raw(pNode));
  nodes.sort();  // a DOM node list is in document order
  return XmlAccess::List(XmlAccess::Doc(pNode), std::move(nodes));
}

int CountNodes(const XmlNode& pNode, XmlArg szName, BOOL bDeep) {
  if (!pNode) return 0;
  return SelectNodeList(pNode, szName, bDeep).Length();
}

std::u16string GetAttributeText(const XmlNode& pElement, XmlArg szAttrName, XmlArg szDefault) {
  std::u16string text(szDefault.view());
  if (!pElement.IsElement()) return text;
  std::string name;
  if (!ToParserText(szAttrName.view(), name)) return text;
  // getAttributeNode, then the attribute node's text.
  const pugi::xml_attribute attr = XmlAccess::Raw(pElement).node().attribute(name.c_str());
  if (attr) text = vwin32::FromUtf8(attr.value());
  return text;
}

}  // namespace velluma
