// MAVO is written in the feed library's terms: inside namespace mavo the
// feed's names (LineObject, CController, CreateZPHKey, ...) are used as
// MAVO's own, without qualification.
//
// Thread-safety: declarations only.
#pragma once

namespace ZPH {
}

namespace mavo {
using namespace ZPH;
} // namespace mavo
