#pragma once

namespace kelvora {

// Keeps freed scan-sized blocks in the process heap instead of handing them back to
// the system after every frame. Each scan and its turned copy are several megabytes;
// returning and re-faulting them per frame costs about as much as decoding the scan.
// Call once at program start, before any thread starts.
void keepScanMemory();

}  // namespace kelvora
