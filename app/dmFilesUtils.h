// TdmFilesUtils: the application's file services (deleting and listing the files of a folder by
// mask, packing a schema folder into a package, unpacking and listing a package, and reading the
// file version of an executable). Holds no state between calls; every archive component is made
// for one call and freed before it returns, also when it fails.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// Failure of a file service; the message is one of the fixed texts. Archive errors pass through
// as the archive library's own exception.
class EFilesUtils : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TdmFilesUtils {
 public:
  // Deletes every file of aFolder matching aMask. Folders and the "." and ".." entries are passed
  // over; a file that cannot be deleted fails with "Cannot delete file " + its path, so that no
  // stale file travels in the next package.
  void DeleteFiles(const std::string& aFolder, const std::string& aMask);
  // Fills aList (cleared first) with folder + name of every entry matching the mask, in the order
  // of the enumeration, "." and ".." included. Null list: "List not assigned!!".
  void ListFiles(std::vector<std::string>* aList, const std::string& aFolder, const std::string& aMask);
  // Packs the files of aFileSpec (folder + mask) into a new archive aArchiveFile; aResult is the
  // archive name when at least one file was packed, else empty. The new archive replaces an
  // existing one only when it is complete; otherwise the old one stays untouched.
  void ZipFiles(const std::string& aArchiveFile, const std::string& aFileSpec, std::string& aResult,
                bool aRecurse);
  // Extracts every entry into aTargetFolder; aFirstFile is the folder + the first entry's name.
  // An entry that would land outside the folder, a link entry, or a path through an existing link
  // fails with the archive error 25245 before anything is written.
  void UnzipPackage(const std::string& aArchiveFile, const std::string& aTargetFolder, std::string& aFirstFile,
                    bool aRecurse);
  // Fills aList with the archive's entry names; a missing archive leaves the list untouched.
  void ListArchive(const std::string& aArchiveFile, std::vector<std::string>* aList, bool aShowEmptyFolders);
  // The "FileVersion" text of the file's version block, or "0.0.0.0"; never fails.
  void GetFileVersion(const std::string& aFile, std::string& aVersion);
};
