// File-system work of the installation: folder trees, the standard
// sub-folders, moving the running main program aside, copying a finished
// update over the install folder and emptying the download folder.
#pragma once

#include <string>

struct InstallContext;

// True when one of the folders below base on the way to rel (local
// separators) is a link: a write there would land outside base.
bool ThroughLink(const std::string& base, const std::string& rel);
// Creates every missing folder of path; true when it exists afterwards.
// Runs of separators count as one, a trailing one is ignored, and a path
// that starts with one is built from the root.
bool CreateFolderTree(const std::string& path);
// Data, Plugins, Script and Tools in the install folder and in its download
// folder (created too). Always true.
bool CreateStandardFolders(const InstallContext& context);
// Renames the main program in folder to harbinet_old.exe, replacing an
// earlier parked copy, so that a new one can be written while it runs.
void MoveAssistantAside(const std::string& folder);
// In an update or repair, copies the download folder over the install
// folder. A file that cannot be copied shows a message and ends the process.
bool CopyDownloadedFiles(const InstallContext& context);
bool CopyTree(const InstallContext& context, const std::string& folder);
// Deletes every file below the download folder; the folders stay.
bool CleanDownloadFolder(const InstallContext& context);
bool DeleteFilesBelow(const std::string& folder);
