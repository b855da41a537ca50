#include "convert/DocumentFiles.h"

#include "cipher/FileCipher.h"
#include "convert/QmlCacheGen.h"
#include "convert/RunProfile.h"
#include "platform/ContentHash.h"
#include "platform/Text.h"

namespace prt {

namespace {

namespace pf = prt::platform;
using Stage = RunError::Stage;

// Which file it is, as made: the record keeps it only if the published one
// is still this.
void Identify(RecordedFile& file, const pf::FileInfo& info) {
  file.device = info.device, file.inode = info.inode, file.modifiedNs = info.modifiedNs;
  file.changedNs = info.changedNs;
}

}  // namespace

Expected<pf::FileInfo, RunError> DocumentFiles::Save(const Screen& screen, std::string_view bytes) const {
  pf::SysResult<pf::FileInfo> saved = staging_.Create(screen.name, bytes);
  // Screens that share a file write it more than once.
  if (!saved && saved.Error().code == std::errc::file_exists) saved = staging_.Write(screen.name, bytes);
  if (!saved) return StageFailed(Stage::Save, saved.Error().On(screen.path));
  return *saved;
}

Expected<void, RunError> DocumentFiles::SaveEarlier(const Screen& screen, std::string_view bytes) const {
  const Expected<pf::FileInfo, RunError> saved = Save(screen, bytes);
  if (!saved) return Fail(saved.Error());
  return {};
}

Expected<RecordedDocument, RunError> DocumentFiles::Make(const Screen& screen, const DocumentText& text, bool shared,
                                                         RecordedDocument made, std::string& sealed, int slot) const {
  made.name = pf::NarrowPath(screen.name);
  made.textSize = text.bytes.size();
  made.textHash = pf::ContentHash::Of(text.bytes);
  if (old_) {
    if (std::optional<RecordedDocument> taken = old_->Take(made.name, made.textSize, made.textHash, staging_, shared)) {
      taken->notices = std::move(made.notices);
      taken->order = made.order;
      if (!taken->rejected.empty()) report_.Rejected(taken->rejected);
      return std::move(*taken);
    }
  }
  // An enciphered document is saved once, in its final form.
  pf::FileInfo saved;
  if (!encrypt_) {
    const Expected<pf::FileInfo, RunError> written = Save(screen, text.bytes);
    if (!written) return Fail(written.Error());
    saved = *written;
  }
  if (auto compiled = Compile(screen, text, made, saved, sealed, slot); !compiled) return Fail(compiled.Error());
  return made;
}

Expected<void, RunError> DocumentFiles::Compile(const Screen& screen, const DocumentText& text, RecordedDocument& made,
                                                pf::FileInfo saved, std::string& sealed, int slot) const {
  const auto compile = [&] {
    ScopedTimer timer(WorkerFigure(slot, &WorkerProfile::compileSeconds));
    const CacheFile cache{staging_, screen.name + u'c'};
    return text.units ? QmlCacheGen::MiniQmlCacheGen(screen.path, *text.units, cache)
                      : QmlCacheGen::MiniQmlCacheGen(screen.path, text.bytes, cache);
  };
  const Expected<Compiled, pf::SystemError> compiled = compile();
  if (RunProfile* run = ActiveRunProfile()) ++run->workers[slot].files;
  if (!compiled) return StageFailed(Stage::Compile, compiled.Error());
  if (compiled->rejected) {
    report_.Rejected(compiled->message);
    made.rejected = compiled->message;
  }
  made.files.push_back({made.name, made.textSize, made.textHash});
  if (!compiled->rejected) made.files.push_back({made.name + "c", compiled->cacheSize, compiled->cacheHash});
  if (encrypt_) {
    ScopedTimer timer(WorkerFigure(slot, &WorkerProfile::encryptSeconds));
    Expected<pf::FileInfo, CipherError> enciphered = EncryptContent(staging_, screen.name, text.bytes, sealed);
    if (!enciphered) {
      CipherError error = enciphered.Error();
      error.path = screen.path;
      return Fail(RunError{.stage = Stage::Encipher, .cause = Error(std::move(error))});
    }
    saved = *enciphered;
    made.files.front().size = sealed.size();
    made.files.front().hash = pf::ContentHash::Of(sealed);
  }
  Identify(made.files.front(), saved);
  if (!compiled->rejected) Identify(made.files.back(), compiled->cacheFile);
  return {};
}

}  // namespace prt
