// Courseware player of the simulated room: not yet decoding.
#include "SimRoom.h"

namespace simroom
{

bool Room::peerAction(unsigned, PeerAction) { return false; }
int Room::playerOpen(const std::string &, PlayerListener *) { return -1; }
void Room::playerStop() { }
void Room::playerPause() { }
void Room::playerResume() { }
void Room::playerSeek(int) { }
int Room::playerDurationMs() const { return 0; }
int Room::playerPositionMs() const { return 0; }

} // namespace simroom
