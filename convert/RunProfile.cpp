#include "convert/RunProfile.h"

namespace prt {

namespace {
RunProfile* activeProfile = nullptr;
}  // namespace

void SetRunProfile(RunProfile* profile) { activeProfile = profile; }
RunProfile* ActiveRunProfile() { return activeProfile; }

}  // namespace prt
