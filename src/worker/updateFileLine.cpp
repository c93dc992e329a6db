#include "updateFileLine.h"

namespace updateFileLine {
bool isCommentLine(const QByteArray &line) { return line.startsWith('#'); }
packetLine convertPacketLine(const QByteArray &) { return {}; }
}
