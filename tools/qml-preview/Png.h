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
#include <vector>

namespace prt::preview {

// The image's colours without alpha (those of a premultiplied image as if
// unpremultiplied); empty for a null image.
QByteArray EncodePng(const QImage& image);

// A picture coded in bands of rows (a contact sheet, a band a row of its
// cells), each band in IDAT chunks of its own that reach back no further
// than the band, so that a band drawn from what an earlier file's band was
// drawn from (its key) is copied from that file instead of drawn and coded
// again. The keys and the bands' checksums follow the image data in a
// private chunk. The same bands give the same bytes, copied or coded.
class BandedPng {
 public:
  // The bands of `rows` rows each, `width` wide, with their keys;
  // `earlier` is the file this picture had (any bytes).
  BandedPng(int width, int rows, std::vector<QByteArray> keys, const QByteArray& earlier);
  // Whether band `band` was taken from the earlier file.
  bool Kept(size_t band) const { return !bands[band].code.isEmpty(); }
  // Codes a band that was not kept from an opaque image of its rows.
  void Code(size_t band, const QImage& image);
  // The file, once every band is kept or coded.
  QByteArray File() const;

 private:
  struct Band {
    QByteArray key;
    QByteArray code;  // its chunks, as they stand in the file
    uint32_t adler = 0;
  };
  int width, rows;
  std::vector<Band> bands;
};

}  // namespace prt::preview
