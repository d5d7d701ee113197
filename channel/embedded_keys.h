// Key texts compiled into the program from the build's key folder.
#pragma once

extern const char kEmbeddedEnvelopeKey[];
extern const char kEmbeddedManifestPublicKey[];
