// Stand-ins for the configuration pages, which are being built on another
// branch. Removed when they land.
#include "shell/settings.h"

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
