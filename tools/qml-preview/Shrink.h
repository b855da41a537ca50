#pragma once
// Shrinking a picture by area averaging: each output pixel is the mean of
// the source area it covers, edges weighted by how much of a source pixel
// they take. Qt's smooth scaling does the same in slices handed to its
// thread pool, at about 1.4 times the instructions for a thumbnail.
#include <QImage>
#include <QSize>

namespace prt::preview {

// `size` no larger than the picture in either direction; the result within
// one and a half steps of the exact mean in every channel (premultiplied colours are
// averaged as they are, which is correct for them). The picture's format
// is kept where it is RGB32 or premultiplied ARGB32; others are converted
// to the latter first.
QImage Shrink(const QImage& picture, QSize size);

}  // namespace prt::preview
