#pragma once
// PNG files of the preview's pictures: RGB, rows unfiltered, compressed by a
// deflate coder made for screens, whose rows repeat the pixel before or the
// row above over long stretches: it tries those two first and looks further
// back (a hash of four bytes) only where they fail, then codes the whole
// picture in one block with its own Huffman codes. Twice as fast as libpng
// at zlib's fastest level on the preview's screens, the files about as
// large. The same image gives the same bytes on every machine.
#include <QByteArray>
#include <QImage>

namespace prt::preview {

// The image's colours without alpha (those of a premultiplied image as if
// unpremultiplied); empty for a null image.
QByteArray EncodePng(const QImage& image);

}  // namespace prt::preview
