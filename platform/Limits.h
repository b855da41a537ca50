#pragma once
// Every bound the programs set on what an input may make them do, in one
// place: beyond these a run or a tool stops with a message naming the
// limit, instead of growing without end. docs/guarantees.md lists them for users.
#include <cstddef>
#include <cstdint>

namespace prt::limits {

// ---- The converter ----
// A data file's size, checked before anything is copied: the builder makes
// no larger container, and the load holds the file in memory.
inline constexpr uint64_t kDataFileBytes = uint64_t{256} << 20;
// Controls the trees of all screens of one run may hold together. Links may
// share targets, so a small corrupt data set can describe trees
// exponentially larger than itself. Every screen and every link entry read
// counts once each time it is reached; without shared targets each costs at
// least 8 bytes of the image, so no project reaches image bytes / 8 on its
// own; 65,536 more leave room for small projects that share some targets.
inline constexpr uint64_t kControlSlack = 65536;
constexpr uint64_t Controls(uint64_t imageBytes) { return imageBytes / 8 + kControlSlack; }
// Nesting of groups in one tree: deeper is taken as corrupt data rather than
// overflowing the stack.
inline constexpr size_t kNesting = 256;
// The bytes of documents (UTF-8, as saved) one run may write: 32 per byte
// of the image, plus 16 MiB. Real projects write one to two (the example
// 1.15, the 3,200-screen benchmark project 1.51, the random projects of the
// reference test at most 2.04). The caches and the cipher's key bytes
// follow from the documents and are not counted.
inline constexpr uint64_t kDocumentBytesPerImageByte = 32;
inline constexpr uint64_t kDocumentByteSlack = uint64_t{16} << 20;
constexpr uint64_t DocumentBytes(uint64_t imageBytes) {
  return imageBytes * kDocumentBytesPerImageByte + kDocumentByteSlack;
}
// Languages a font array lists: a language is selected by a 16-bit index,
// and a corrupt count must not make a run write billions of lines.
inline constexpr uint32_t kFontLanguages = 32768;
// Languages prt-check looks up each control's text and each popup title's
// font in: every control times every language would grow with the square
// of a data set's size.
inline constexpr uint32_t kCheckedLanguages = 64;
// The longest PRT2QML_LOCK_WAIT, in seconds (a year).
inline constexpr uint64_t kLockWaitSeconds = 366ull * 24 * 3600;

// ---- qml-decipher ----
// An enciphered input; prt2qml's documents stay far below it, and
// deciphering holds the file and its text at once.
inline constexpr uint64_t kDecipherInputBytes = uint64_t{256} << 20;

// ---- prt-build: what a description may ask for ----
inline constexpr size_t kDescriptionBytes = 64u << 20;  // JSON text (benchmark project: 16 MB)
inline constexpr size_t kDescriptionDepth = 256;        // nesting of arrays and objects
inline constexpr size_t kDescriptionValues = 5'000'000;  // values in the text (benchmark: 1.6 million)
inline constexpr uint32_t kRecordSize = 1u << 20;        // record size and record field offsets
inline constexpr uint32_t kSyntheticScreens = 20'000;    // pages, templates, report pages and popups
inline constexpr uint32_t kSyntheticControls = 250'000;  // the largest such project takes about 1 GB
inline constexpr uint32_t kSyntheticLanguages = 4;

}  // namespace prt::limits
