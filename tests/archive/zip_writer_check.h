// Test support for the ZIP writer: reads an archive back with our own reader and lister.
#pragma once

#include <string>
#include <vector>

#include "archive/pakvoPakvo.h"
#include "archive/pakvoUnZip.h"

namespace zipcheck {

struct TReadBack {
  int Extracted = 0;
  int CrcPassed = 0;
  std::vector<int> Errors;
};

// Extracts every entry of archive (or those matching spec) into dir with our reader.
inline TReadBack Extract(const std::string& archive, const std::string& dir,
                         const std::vector<std::string>& spec = {}) {
  TReadBack r;
  TUnZip unzip;
  unzip.OnError = [&](TObject*, const std::string&, const std::string&, const std::string&, int code) {
    r.Errors.push_back(code);
  };
  unzip.OnEnd = [&](TObject*, const std::string&, bool pass) { r.CrcPassed += pass ? 1 : 0; };
  unzip.SetArcFile(archive);
  unzip.SetExtractDir(dir);
  if (!spec.empty()) unzip.FileSpec = spec;
  r.Extracted = unzip.Extract();
  return r;
}

// Names our lister gives for archive; ok tells whether the listing succeeded.
inline std::vector<std::string> List(const std::string& archive, bool* ok = nullptr) {
  TPakvo p;
  p.SetArcFile(archive);
  std::vector<std::string> names;
  const bool result = p.GetFileList(&names);
  if (ok) *ok = result;
  return names;
}

}  // namespace zipcheck
