// Which component files an installation fetches, and fetching them: the two
// signed manifests first, then one pass per manifest that either downloads
// every listed file into the install folder (a first installation) or lists
// the files that are missing or differ and downloads them into the download
// folder (an update or repair).
#pragma once

#include <string>

#include "update/manifest.h"

struct InstallContext;

// Fetches "Digest.xml" and the bank's manifest and checks their signatures.
// In an update or repair the new copies always go to the download folder
// (an installed copy that is missing then simply lists every entry), and
// the download folder is emptied first, so that nothing a killed run left
// there can be copied over the installation later. False on the first
// failed download or signature.
bool DownloadManifests(InstallContext& context);

// One pass over the manifest of kind. Stops the UI program first, and any
// "TolvanePop" program the manifest lists before its entry is looked at.
// Every file is checked against the manifest's digest before it is put in
// place. False when a download of this pass failed or an entry was refused.
bool RunDownloadPass(InstallContext& context, ManifestKind kind);

// The entry's path below the install folder: FileName, or Path + "\" +
// FileName.
std::string RelativePath(const ManifestEntry& e);

// True when a relative manifest path ("\" or "/" between levels) stays
// inside the folder it is joined to: no ".." component, no leading
// separator, no drive letter or other colon, no NUL byte. A crafted manifest
// must not be able to make the installation write outside its folder.
bool IsContainedPath(const std::string& relativePath);

// A manifest path with each "\" turned into the local separator.
std::string LocalPath(const std::string& manifestPath);
