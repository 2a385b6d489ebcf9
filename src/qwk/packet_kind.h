// The kinds of packet a caller may ask for.
//
// A plain QWK packet is what every offline reader reads. A QWKE packet adds
// what readers of that extension look for: the whole To, From and Subject
// at the top of a message's text where the header's 25 characters cut them
// short, and "toreader.ext" with the caller's conferences and how he has
// them selected. A UTF-8 packet is a QWKE packet whose message texts and
// whole names and subjects are UTF-8, each message described in
// "headers.dat"; its header fields stay in the packet's usual character
// set, so that a reader without "headers.dat" still shows them sensibly.
#pragma once

namespace obrix {

enum class PacketKind { kQwk, kQwke, kUtf8 };

// True for the kinds that carry the QWKE extension.
inline bool HasQwkeExtension(PacketKind kind) { return kind != PacketKind::kQwk; }

}  // namespace obrix
