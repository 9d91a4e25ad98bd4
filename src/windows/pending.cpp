// Stand-ins for pieces that are being built on other branches: the property
// list, accelerator tables and the configuration pages. Removed as each lands.
#include "shell/settings.h"
#include "shell/shared_routines.h"
#include "shell/toolkit.h"

using namespace tarvolen;

void EZ_PLISTBOX(int32_t, const std::string&, double, double, double, double, const std::string&) {}
void EZ_CLEAR(const std::string&, int32_t) {}

namespace tarvolen {
void cSettings::CommitEdit() {}
void cSettings::SetSegmentDuration(const std::string&) {}
void cSettings::PollConfiguration(int32_t) {}
void cSettings::RefreshPage(int32_t) {}
void cSettings::ApplyPage(const std::string&, int32_t) {}
void cSettings::ApplyToChecked(int32_t) {}
void cSettings::BuildInputsPage() {}
void cSettings::BuildEncodersPage() {}
void cSettings::BuildProjectsPage() {}
void cSettings::BuildMasterAudioPage() {}
void cSettings::BuildProxyAudioPage() {}
void cSettings::AddTrack() {}
void cSettings::RemoveTrack() {}
void cSettings::SetTrackCount(int32_t) {}
}  // namespace tarvolen
