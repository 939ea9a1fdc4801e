#pragma once
// The copies of the product's certificate, technical-documents and Wexmarl folders into their
// external targets, each a sub-folder named like its source, refreshed on every run.

#include "copy/copy_run.h"

namespace copy {

// Copies the three folders in this order, each with its section, result lines and failure box.
// Every failure and every missing source is added to the run's failures.
void sbCopyProductFolders(CopyRun& run);

} // namespace copy
