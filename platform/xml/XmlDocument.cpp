#include "platform/xml/XmlDocument.h"

namespace xmldoc {

namespace {

// Stops the library's (iterative) walk at the first element below the allowed depth.
class DepthCheck : public pugi::xml_tree_walker {
 public:
  bool for_each(pugi::xml_node& node) override {
    tooDeep = node.type() == pugi::node_element && static_cast<std::size_t>(depth()) >= kMaxXmlDepth;
    return !tooDeep;
  }
  bool tooDeep = false;
};

// The fault of a parse, empty when the document was read and is nested within bounds.
std::string Fault(pugi::xml_document& doc, const pugi::xml_parse_result& parsed) {
  if (!parsed) {
    return std::string("malformed XML (") + parsed.description() + " at offset " +
           std::to_string(parsed.offset) + ")";
  }
  DepthCheck check;
  doc.traverse(check);
  if (check.tooDeep) return "elements nested deeper than " + std::to_string(kMaxXmlDepth) + " levels";
  return {};
}

}  // namespace

void ParseInPlace(pugi::xml_document& doc, char* buffer, std::size_t size) {
  const std::string fault =
      Fault(doc, doc.load_buffer_inplace(buffer, size, pugi::parse_default, pugi::encoding_utf8));
  if (!fault.empty()) {
    doc.reset();
    throw EXmlError(fault);
  }
}

void LoadFile(pugi::xml_document& doc, const std::string& fileName) {
  const pugi::xml_parse_result parsed = doc.load_file(fileName.c_str());
  std::string fault;
  if (parsed.status == pugi::status_file_not_found || parsed.status == pugi::status_io_error ||
      parsed.status == pugi::status_out_of_memory) {
    fault = std::string("cannot read the file (") + parsed.description() + ")";
  } else {
    fault = Fault(doc, parsed);
  }
  if (!fault.empty()) {
    doc.reset();
    throw EXmlError("Cannot read XML file '" + fileName + "': " + fault);
  }
}

void RemoveSubtree(pugi::xml_node node) {
  if (!node) return;
  pugi::xml_node current = node;
  while (true) {
    while (pugi::xml_node below = current.last_child()) current = below;
    if (current == node) break;
    pugi::xml_node parent = current.parent();
    parent.remove_child(current);  // a leaf: nothing below to recurse into
    current = parent;
  }
  node.parent().remove_child(node);
}

}  // namespace xmldoc
