#include "components/XmlNodes.h"

#include <utility>

#include "platform/xml/XmlDocument.h"

namespace xmlnodes {

namespace {

// Gathers the text and CDATA pieces below an element in document order. The library's walk is
// iterative, so a deeply nested element costs no stack.
class TextGatherer : public pugi::xml_tree_walker {
 public:
  bool for_each(pugi::xml_node& node) override {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) text += node.value();
    return true;
  }
  std::string text;
};

pugi::xml_node FirstChild(pugi::xml_node aParent, std::string_view aName) {
  for (pugi::xml_node child : aParent.children()) {
    if (child.type() == pugi::node_element && aName == child.name()) return child;
  }
  return {};
}

}  // namespace

std::string ElementText(pugi::xml_node aElement) {
  TextGatherer gatherer;
  aElement.traverse(gatherer);
  return std::move(gatherer.text);
}

std::string ChildText(pugi::xml_node aParent, std::string_view aName) {
  return ElementText(FirstChild(aParent, aName));
}

pugi::xml_node SetChildText(pugi::xml_node aParent, std::string_view aName,
                            std::string_view aText) {
  pugi::xml_node element = FirstChild(aParent, aName);
  if (!element) {
    element = aParent.append_child(std::string(aName).c_str());
  } else {
    while (pugi::xml_node child = element.first_child()) xmldoc::RemoveSubtree(child);
  }
  if (!aText.empty()) element.append_child(pugi::node_pcdata).set_value(std::string(aText).c_str());
  return element;
}

pugi::xml_node WriteList(pugi::xml_node aParent, std::string_view aName,
                         std::string_view aItemPrefix, const std::vector<std::string>& aLines) {
  while (pugi::xml_node old = FirstChild(aParent, aName)) xmldoc::RemoveSubtree(old);
  pugi::xml_node list = aParent.append_child(std::string(aName).c_str());
  for (std::size_t i = 0; i < aLines.size(); ++i) {
    const std::string itemName = std::string(aItemPrefix) + std::to_string(i);
    pugi::xml_node item = list.append_child(itemName.c_str());
    if (!aLines[i].empty()) item.append_child(pugi::node_pcdata).set_value(aLines[i].c_str());
  }
  return list;
}

std::vector<std::string> ReadList(pugi::xml_node aParent, std::string_view aName) {
  std::vector<std::string> lines;
  for (pugi::xml_node child : FirstChild(aParent, aName).children()) {
    if (child.type() == pugi::node_element) lines.push_back(ElementText(child));
  }
  return lines;
}

}  // namespace xmlnodes
