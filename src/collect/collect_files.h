#pragma once

namespace orvanta {

struct ScanContext;

// The first stage of a scan: walks every listed folder with every mask and
// registers the files that pass the size filters in files, each file once.
void CollectFiles(ScanContext& scan);

}  // namespace orvanta
