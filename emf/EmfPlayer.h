#pragma once
// Plays an enhanced metafile onto a QPainter, stretched into a target rectangle the
// way the platform plays one: the picture's frame maps onto the target.
#include <QRectF>
#include <cstddef>
#include <cstdint>

class QPainter;

namespace qrp {

class TMetafile;

// Plays the picture into target (in the painter's current coordinates). The painter's
// state is restored afterwards. Malformed records are skipped; nothing here throws for
// bad picture bytes.
void PlayMetafile(QPainter& painter, const TMetafile& picture, const QRectF& target);
void PlayEmf(QPainter& painter, const std::uint8_t* data, std::size_t size, const QRectF& target);

} // namespace qrp
