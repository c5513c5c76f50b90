// Reading XML documents from files: nesting at the bound loads, one level more is refused naming
// the file, and deep subtrees are removed without exhausting the stack.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/xml/XmlDocument.h"

namespace fs = std::filesystem;

namespace {

std::string Nested(std::size_t levels, const std::string& inner = "x") {
  std::string s;
  for (std::size_t i = 0; i < levels; ++i) s += "<e a='1'>";
  s += inner;
  for (std::size_t i = 0; i < levels; ++i) s += "</e>";
  return s;
}

std::string Message(const std::function<void()>& read) {
  try {
    read();
  } catch (const xmldoc::EXmlError& e) {
    return e.what();
  }
  return "read";
}

}  // namespace

TEST(XmlDocument, NestingBeyondTheBoundIsRefusedNamingTheFile) {
  const fs::path dir = fs::path(SCHEMION_TEST_BUILD_DIR) / "xml_document_nesting";
  fs::create_directories(dir);
  struct Case {
    std::string content;
    std::string expect;  // "read", or part of the message
  };
  const std::string tooDeep = "elements nested deeper than 256 levels";
  const Case cases[] = {
      {Nested(xmldoc::kMaxXmlDepth), "read"},
      {Nested(xmldoc::kMaxXmlDepth + 1), tooDeep},
      {"<r>" + Nested(200000) + "</r>", tooDeep},
      {"<r><a></r>", "malformed XML (Start-end tags mismatch at offset"},
  };
  for (const Case& c : cases) {
    std::string buffer = c.content;
    pugi::xml_document inMemory;
    const std::string got = Message([&] { xmldoc::ParseInPlace(inMemory, buffer.data(), buffer.size()); });
    EXPECT_NE(got.find(c.expect), std::string::npos) << got;
    if (c.expect != "read") {
      EXPECT_FALSE(inMemory.document_element());
    }

    const fs::path file = dir / "doc.xml";
    std::ofstream(file, std::ios::binary) << c.content;
    pugi::xml_document fromFile;
    const std::string loaded = Message([&] { xmldoc::LoadFile(fromFile, file.string()); });
    EXPECT_NE(loaded.find(c.expect), std::string::npos) << loaded;
    if (c.expect != "read") {
      EXPECT_NE(loaded.find("'" + file.string() + "'"), std::string::npos);
    }
  }
  pugi::xml_document missing;
  EXPECT_NE(Message([&] { xmldoc::LoadFile(missing, (dir / "none.xml").string()); }).find("cannot read the file"),
            std::string::npos);
  fs::remove_all(dir);
}

// Regression: removing a subtree 200,000 levels deep with the library's removal overflowed the
// stack.
TEST(XmlDocument, DeepSubtreeIsRemovedLeavingItsSiblings) {
  pugi::xml_document doc;
  const std::string text = "<r><keep/>" + Nested(200000) + "<last/></r>";
  ASSERT_TRUE(doc.load_string(text.c_str()));
  pugi::xml_node root = doc.document_element();
  xmldoc::RemoveSubtree(root.child("e"));
  std::string names;
  for (pugi::xml_node child : root.children()) names += std::string(child.name()) + ";";
  EXPECT_EQ(names, "keep;last;");
  xmldoc::RemoveSubtree(pugi::xml_node());
}
