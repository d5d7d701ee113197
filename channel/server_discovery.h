// Fixing the server address before anything is sent.
#pragma once

// Settles g_downloadpath: the profile's site with the standard request path,
// or the three lines of "serverip.dat" in the current folder. False when that
// file exists but holds fewer than three lines.
bool DiscoverServer();
