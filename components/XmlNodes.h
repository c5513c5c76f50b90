// Element helpers shared by the directive, settings and producer-list nodes: scalar elements found
// by name or created, lists written as numbered children and read back whatever their names.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "common/SchemionTypes.h"
#include "common/Text.h"

namespace xmlnodes {

// The text of an element: every text and CDATA piece below it, in document order. An empty node
// gives an empty text.
std::string ElementText(pugi::xml_node aElement);

// Text of the child element named aName of aParent (the first one), empty when there is none.
std::string ChildText(pugi::xml_node aParent, std::string_view aName);

// Sets the text of the child element aName of aParent, reusing the first such element (whose old
// content is replaced) or appending a new one.
pugi::xml_node SetChildText(pugi::xml_node aParent, std::string_view aName, std::string_view aText);

// Appends the list element aName to aParent with one child per line, named aItemPrefix followed
// by the line's index from 0. An element aName already under aParent is removed first, so that
// writing twice leaves one list, not a stale one that readers would find first.
pugi::xml_node WriteList(pugi::xml_node aParent, std::string_view aName,
                         std::string_view aItemPrefix, const std::vector<std::string>& aLines);

// The lines of the list element aName of aParent: the text of each child element in document
// order, whatever its name. No such element gives an empty list.
std::vector<std::string> ReadList(pugi::xml_node aParent, std::string_view aName);

// The value named by the (blank-trimmed) text of child aName; aFallback when the element is
// missing or its text names no value.
template <typename E>
E ReadEnum(pugi::xml_node aParent, std::string_view aName, E aFallback);

// Writes the value name of aValue as the text of child aName (reused or created).
template <typename E>
void WriteEnum(pugi::xml_node aParent, std::string_view aName, E aValue) {
  SetChildText(aParent, aName, EnumName(aValue));
}

template <typename E>
E ReadEnum(pugi::xml_node aParent, std::string_view aName, E aFallback) {
  return EnumFromName<E>(text::Trim(ChildText(aParent, aName)), aFallback);
}

}  // namespace xmlnodes
