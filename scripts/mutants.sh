#!/usr/bin/env bash
# Deliberate faults, one at a time: each is applied, the tree is built and the
# test suite run, then the file is restored. A fault the suite does not notice
# shows a gap in the tests.
#
#   scripts/mutants.sh [build-dir] [name-filter]
#
# The build dir (default build/) must be configured already. The fault suite
# (ctest label faults) runs only for the faults marked "faults" below: it is
# slow and is about the publish step.
set -uo pipefail
shopt -u patsub_replacement 2>/dev/null || true
cd "$(dirname "$0")/.."
build=${1:-build}
filter=${2:-}
[ -f "$build/build.ninja" ] || { echo "mutants: $build is not a configured build folder" >&2; exit 2; }

# file @@ exact text (found exactly once) @@ replacement @@ suites @@ the fault in words
table=$(cat <<'EOF'
platform/FileSystem.cpp @@   if (!S_ISREG(info.st_mode)) return NotRegularFile(); @@  @@ - @@ a FIFO or device passes as a regular file
platform/FileSystem.cpp @@ (anyMiddle ? name.size() >= fixed : name.size() == fixed) @@ (anyMiddle ? name.size() >= fixed : name.size() >= fixed) @@ - @@ an exact data-set name also takes longer names
platform/FolderLock.cpp @@ ec == std::errc() ? std::min(kMax, seconds) : kMax @@ ec == std::errc() ? seconds : kMax @@ - @@ a long lock wait is not capped (overflow)
data/image/TransferFileReader.cpp @@ v - r.base_ < size)) @@ v - r.base_ <= size)) @@ - @@ a pointer value one past the payload is accepted
data/image/TransferFileReader.cpp @@ if (big || (mode != 1 && mode != 2)) return platform::LoadUnsigned(p, 8, big); @@ if (big || mode != 1) return platform::LoadUnsigned(p, 8, big); @@ - @@ mode 2 no longer swaps the halves of doubles
data/image/TransferFileReader.cpp @@ (sectionEnd - start + width - 1) / width @@ (sectionEnd - start + width) / width @@ - @@ a pointer or position list reads one entry past its section
data/image/TransferFileReader.cpp @@ (sectionEnd - start + width - 1) / width @@ (sectionEnd - start) / width @@ - @@ an entry that crosses its section's end is left unread
data/image/TransferFileReader.cpp @@ EachWord(pointers_, fileOrder_, [&] @@ EachWord(pointers_, order_, [&] @@ - @@ a big-endian file's pointer list is read in the converted order when rebasing
data/set/OpenDataSet.cpp @@ platform::DiscardPages(bytes.Data(), payloadOffset); @@ platform::DiscardPages(bytes.Data(), payloadOffset + 4096); @@ - @@ giving back the head's pages takes the image's first page with them
data/files/WorkingCopy.cpp @@ if (done && (made || !CopyMatches(work, fileName, bytes.info, hash, true))) { @@ if (done && made) { @@ - @@ a working copy found stale is kept
platform/FileSystem.cpp @@     if (!ec && ::futimens(file.Get(), times) != 0) ec = LastError(); @@  @@ - @@ the working copy written from the bytes read lacks the data file's time, so every run copies again
data/manager/ManagerLists.cpp @@ return maskMatch ? (e & u) == e : u == e; @@ return maskMatch ? (e & u) != 0 : u == e; @@ - @@ mask matching of value lists takes any common bit
data/manager/ManagerLists.cpp @@ entry.I32(4) <= v && v <= entry.I32(0); @@ entry.I32(4) <= v && v < entry.I32(0); @@ - @@ a range list's upper bound is exclusive
data/set/DefaultMapIndex.cpp @@ constexpr uint32_t kIdMask = 0xFFFFFFu; @@ constexpr uint32_t kIdMask = 0xFFFFFFFFu; @@ - @@ the index compares the top byte of identifiers
data/manager/ManagerTexts.cpp @@ currentLanguage_ + 1 < count ? currentLanguage_ + 1 : 0; @@ currentLanguage_ + 1 <= count ? currentLanguage_ + 1 : 0; @@ - @@ "next language" runs past the last one
data/files/WorkingCopy.cpp @@ if (!work.Read(hashName, stored, 64)) return stored == HashText(hash); @@ if (!work.Read(hashName, stored, 64)) return true; @@ - @@ the stored hash is not compared: new bytes with the old size and time are not copied
data/files/WorkingCopy.cpp @@ {name + u".rt_file.", u"", true}, {name + u".pwxEx", u"", false}, @@ {name + u".rt_file.", u"", true}, @@ - @@ a stale .pwxEx survives a rewritten source
controls/IControl.h @@ kFlagHideMask = 0x30; @@ kFlagHideMask = 0x10; @@ - @@ flag bit 5 no longer hides a control
controls/IControl.cpp @@ if (typeNumber != 1 && (record.U32 @@ if ((record.U32 @@ - @@ a hidden page gets a visible line
controls/LeafControls.cpp @@ WriteIntProperty(u"height", std::min(h, kMaxTrendExtent)); @@ WriteIntProperty(u"height", h); @@ - @@ a trend view's height is not capped
qml/QmlStream.cpp @@ ascii[special >> 6] |= uint64_t{1} << (special & 63); @@ ascii[special >> 6] |= uint64_t{1} << (special & 31); @@ - @@ the escape bit set keeps only five bits
convert/TreeCheck.cpp @@ if (typeCode != "tmpl") path += platform::Widen(std::to_string(static_cast<int32_t>(objId))); @@ if (typeCode != "tmpl") path += platform::Widen(std::to_string(objId)); @@ - @@ file names take the reference unsigned
platform/Publish.cpp @@   if (exchanged) DiscardOld(from, events); @@  @@ faults @@ the old final folder is left beside the new one
convert/DocumentWorkers.cpp @@ files_.back().screens.push_back(byPath[k]); @@ files_.back().screens.insert(files_.back().screens.begin(), byPath[k]); @@ - @@ screens sharing a file are written last one first
convert/DocumentWorkers.cpp @@ text.units = bytes.Replaced() ? std::nullopt : @@ text.units = false ? std::nullopt : @@ - @@ a text whose surrogates were replaced is compiled from its units instead of its saved bytes
convert/QmlCacheGen.cpp @@ if (units.starts_with(u'\uFEFF')) units.remove_prefix(1); @@  @@ - @@ a leading byte order mark reaches the compiler from the units
qml/QmlStream.h @@ (data_[size_] = u'\0', View()) @@ View() @@ - @@ the compiler reads past the units' end
cipher/FileCipher.cpp @@ out.assign(key.size() + outLength, ' '); @@ out.assign(key.size() + outLength, '\0'); @@ - @@ enciphered text is padded with zero bytes
cipher/XorCryptLanes.h @@ constexpr int32_t kMul2 = 40692; @@ constexpr int32_t kMul2 = 40962; @@ - @@ a digit swap in the second generator's multiplier
convert/QmlCacheGen.cpp @@ Qt::CaseSensitive @@ Qt::CaseInsensitive @@ - @@ a .QML file is compiled too
cli/CommandLine.cpp @@ const bool option = arg.size() >= 2 && arg[0] == u'-'; @@ const bool option = arg.size() >= 2; @@ - @@ an option needs no leading dash
cli/CommandLine.cpp @@ } else if (!afterFolderOption) { @@ } else { @@ - @@ the folder after -d is reported as ignored
cli/CommandLine.cpp @@ return argc >= 2 && argc <= 5; @@ return argc >= 2 && argc <= 6; @@ - @@ one argument too many is accepted
tools/builder/ContainerWriter.cpp @@ order == Endian::Little && (mode == 1 || mode == 2); @@ order == Endian::Little && mode == 1; @@ - @@ the builder does not swap doubles in mode 2
tools/builder/ImageWriter.cpp @@ kind && count < 255) { @@ kind && count < 256) { @@ - @@ a layout run of 256 values wraps its count to 0
platform/FolderLock.cpp @@     if (now >= deadline) break; @@     if (now + wait.poll >= deadline) break; @@ - @@ the lock gives up one poll before its wait bound
platform/Text.cpp @@       *o++ = static_cast<char16_t>(kEscapeBase + b); @@       *o++ = kReplacement; @@ - @@ an undecodable byte of a name becomes U+FFFD, not its escape
platform/Limits.h @@ return imageBytes / 8 + kControlSlack; @@ return imageBytes / 4 + kControlSlack; @@ - @@ the control budget allows twice the controls
data/image/TransferFileReader.cpp @@ if (p < firstFree) { @@ if (p + 4 < firstFree) { @@ - @@ overlapping pointer fields are accepted
platform/FileSystem.cpp @@ ToPath(b).c_str(), RENAME_EXCHANGE) != 0 @@ ToPath(b).c_str(), RENAME_NOREPLACE) != 0 @@ - @@ the publish exchange asks for no-replace instead
convert/TreeCheck.cpp @@ if (failed_ || used_ > ControlBudget::LimitFor(data_.ImageSize())) return false; @@ if (failed_) return false; @@ - @@ the two-thread tree check passes trees that break the budget only together
platform/FileSystem.cpp @@ (reinterpret_cast<uintptr_t>(data) + page - 1) / page * page; @@ (reinterpret_cast<uintptr_t>(data)) / page * page; @@ - @@ discarding pages rounds the start down and loses live bytes
convert/DocumentWorkers.cpp @@     generator.language = screen.language;
 @@  @@ - @@ documents written largest first keep the language the previous one left
controls/ValueFormat.cpp @@ , font)) return i; @@ , font)) break; @@ - @@ a font array that stops on a failed lookup is taken to end on the last language
convert/GenerationRun.cpp @@       cleared = false;
    } else { @@     } else { @@ - @@ a staging folder that could not be emptied is used, leftover and all
platform/FileSystem.cpp @@ if (std::find(folder.begin(), folder.end(), fs::path("..")) == folder.end()) return path; @@ return path; @@ - @@ ".." after a link is folded as text
platform/FileSystem.cpp @@ ec = OpenRegular(path, flags | O_NOFOLLOW, file, info); @@ ec = OpenRegular(path, flags, file, info); @@ - @@ a state file in SimWork is opened through a link
platform/FileSystem.cpp @@   std::signal(SIGPIPE, SIG_IGN);
 @@  @@ - @@ a closed standard output kills the run
platform/FolderLock.cpp @@   return ParseLockWait(value);
} @@   return ParseLockWait(value).value_or(std::chrono::seconds(600));
} @@ - @@ a lock wait that is not a number means 600 s
platform/Limits.h @@ return imageBytes * kDocumentBytesPerImageByte + kDocumentByteSlack; @@ return imageBytes * 1024 + kDocumentByteSlack; @@ - @@ the byte budget allows 1,024 bytes of documents per image byte
data/files/WorkingCopy.cpp @@ if (data.size > limits::kDataFileBytes) @@ if (data.size > 2 * limits::kDataFileBytes) @@ - @@ data files up to twice the limit are copied
tools/qml-decipher/main.cpp @@ size && *size > prt::limits::kDecipherInputBytes) { @@ size && false) { @@ - @@ qml-decipher reads an input of any size
tools/cli/CommandLine.cpp @@ added.push_back(parsed->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)); @@ added.push_back(parsed); @@ - @@ a companion refuses a repeated option instead of taking its last value
tools/cli/CommandLine.cpp @@ for (const std::string& extra : app.remaining()) @@ for (const std::string& extra : std::vector<std::string>()) @@ - @@ a companion ignores an unknown option
data/set/OpenDataSet.cpp @@   if (WorkingCopyIsCurrent(work, dataFile, fileName)) { @@   if (true) { @@ - @@ prt-inspect takes the language stored beside a stale working copy
tools/builder/JsonBuilder.cpp @@ if (languages > 0 && texts > languages) @@ if (languages > 0 && texts > languages + 1) @@ - @@ prt-build lets one text too many per language pass
tools/builder/JsonBuilder.cpp @@ if (i > 1 && k > 1 && a[i - 1] == b[k - 2] && a[i - 2] == b[k - 1]) @@ if (false) @@ - @@ "did you mean" no longer counts two swapped letters as one slip
tools/qml-preview/Drawing.cpp @@ if (root->property("useTemplate").toBool()) { @@ if (false) { @@ - @@ the preview draws pages without their template
tools/qml-preview/Gallery.cpp @@ if (!written.contains(file) && !platform::DeleteFile @@ if (false && !platform::DeleteFile @@ - @@ the preview keeps the pictures of documents that are gone
tools/qml-preview/Workers.cpp @@ if (answer.contains(QLatin1String("ready")) || worker.inFlight.empty()) continue; @@ if (worker.inFlight.empty()) continue; @@ - @@ a preview worker's ready line is taken for its first answer
tools/qml-preview/DataSet.cpp @@ if (const auto leaves = LanguageLeftBy(data, *screen)) language = *leaves; @@  @@ - @@ preview captions ignore the language a popup title's fonts leave
convert/Reuse.cpp @@ if (it == byName_.end() || it->second->textSize != textSize || it->second->textHash != textHash) return false; @@ if (it == byName_.end()) return false; @@ - @@ a published document is reused without comparing its new text
convert/Reuse.cpp @@ platform::ContentHash::Of(bytes) == file.hash; @@ true; @@ - @@ a published .qmlc replaced by other bytes of its size is reused
convert/Reuse.cpp @@ for (const std::u16string& entry : added) staging.Remove(entry); @@ (void)added; @@ - @@ a reuse that fails half way leaves links, and the old file is written through them
convert/Reuse.cpp @@ if (!read || read->dataHash != source.dataHash || @@ if (!read || @@ - @@ nothing is loaded although the data file changed
convert/Reuse.cpp @@ if (!expected.contains(name)) return false; @@ (void)name; @@ - @@ nothing is made although qmls holds a file the record does not name
app/RunStart.cpp @@ !platform::SwitchedOff("PRT2QML_REUSE") @@ true @@ - @@ PRT2QML_REUSE=0 still reuses
EOF
)

# Rows first, each checked, so that a stale row stops the run before any build.
files=() searches=() replaces=() suites=() whats=()
while IFS= read -r row || [ -n "$row" ]; do
  # A text may span lines: lines are joined until the row has its five fields.
  while [ "$(grep -o ' @@ ' <<<"$row" | wc -l)" -lt 4 ]; do
    IFS= read -r more || break
    row+=$'\n'"$more"
  done
  file=${row%% @@ *}; rest=${row#* @@ }
  files+=("$file"); searches+=("${rest%% @@ *}"); rest=${rest#* @@ }
  replaces+=("${rest%% @@ *}"); rest=${rest#* @@ }
  suites+=("${rest%% @@ *}"); whats+=("${rest#* @@ }")
done <<<"$table"

read_file() { cat "$1"; printf x; }  # the x keeps trailing line ends
for i in "${!files[@]}"; do
  file=${files[$i]} search=${searches[$i]}
  [ -f "$file" ] || { echo "mutants: row $((i + 1)): no file $file" >&2; exit 2; }
  content=$(read_file "$file"); stripped=${content//"$search"/}
  count=$(( (${#content} - ${#stripped}) / ${#search} ))
  [ "$count" -eq 1 ] || { echo "mutants: row $((i + 1)): the text is found $count times in $file, not once" >&2; exit 2; }
done

printf '%-4s %-36s %-8s %s\n' "#" "file" "result" "fault"
caught=0 missed=0 broken=0
for i in "${!files[@]}"; do
  file=${files[$i]}
  [ -z "$filter" ] || [[ "$file ${whats[$i]}" == *"$filter"* ]] || continue
  content=$(read_file "$file"); content=${content%x}
  cp -p "$file" "$file.mutant-backup"
  printf '%s' "${content/"${searches[$i]}"/"${replaces[$i]}"}" >"$file"
  log=$(mktemp)
  if ! cmake --build "$build" -j2 </dev/null >"$log" 2>&1; then
    result="no-build"; broken=$((broken + 1))
  else
    exclude=(-E '^Faults\.')  # the fault suite only, not every name holding the word
    [ "${suites[$i]}" = faults ] && exclude=()
    if ctest --test-dir "$build" -j2 "${exclude[@]}" </dev/null >"$log" 2>&1; then
      result="MISSED"; missed=$((missed + 1))
    else
      result="caught"; caught=$((caught + 1))
    fi
  fi
  mv "$file.mutant-backup" "$file"
  touch "$file"
  printf '%-4s %-36s %-8s %s\n' "$((i + 1))" "$file" "$result" "${whats[$i]}"
  [ "$result" = caught ] && grep -E '^\s+[0-9]+ - ' "$log" | grep -v '(Skipped)' | head -n 3 | sed 's/^\s*/       /'
  rm -f "$log"
done
cmake --build "$build" -j2 </dev/null >/dev/null 2>&1 || echo "mutants: the restored tree does not build" >&2
echo "mutants: $caught caught, $missed missed, $broken did not build (of ${#files[@]})"
