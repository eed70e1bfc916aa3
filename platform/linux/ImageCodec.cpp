#include "platform/linux/ImageCodec.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <libheif/heif.h>
#include <turbojpeg.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "shared/TextUtil.h"

namespace {

bool LooksLikeHeif(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 12) return false;
  return heif_check_filetype(bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 64))) !=
         heif_filetype_no;
}

// libheif's messages may end in a line break ("...: EOF\n").
void ThrowOnHeifError(const heif_error& error) {
  if (error.code != heif_error_Ok) throw std::runtime_error(error.message ? TrimSpace(error.message) : "HEIF error");
}

// Rows of `channels` bytes per pixel (3 or 4) to packed RGB; transparent
// parts are laid on white paper.
TRgbImage PackRgb(const std::uint8_t* pixels, int width, int height, int stride, int channels) {
  TRgbImage out{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  std::uint8_t* dst = out.rgb.data();
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = pixels + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < width; ++x, src += channels, dst += 3) {
      const int a = channels == 4 ? src[3] : 255;
      for (int c = 0; c < 3; ++c) dst[c] = static_cast<std::uint8_t>((src[c] * a + 255 * (255 - a) + 127) / 255);
    }
  }
  return out;
}

// An opened HEIF file and its primary picture.
class THeifFile {
 public:
  explicit THeifFile(const std::vector<std::uint8_t>& bytes) : FContext(heif_context_alloc(), heif_context_free) {
    if (!FContext) throw std::runtime_error("out of memory");
    ThrowOnHeifError(heif_context_read_from_memory_without_copy(FContext.get(), bytes.data(), bytes.size(), nullptr));
    ThrowOnHeifError(heif_context_get_primary_image_handle(FContext.get(), &FHandle));
  }
  ~THeifFile() {
    if (FHandle) heif_image_handle_release(FHandle);
  }
  THeifFile(const THeifFile&) = delete;
  THeifFile& operator=(const THeifFile&) = delete;

  TImageSize Size() const { return {heif_image_handle_get_width(FHandle), heif_image_handle_get_height(FHandle)}; }

  TRgbImage Decode() const {
    const bool alpha = heif_image_handle_has_alpha_channel(FHandle) != 0;
    heif_image* image = nullptr;
    ThrowOnHeifError(heif_decode_image(FHandle, &image, heif_colorspace_RGB,
                                       alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                       nullptr));
    std::unique_ptr<heif_image, void (*)(const heif_image*)> owner(image, heif_image_release);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (!plane) throw std::runtime_error("HEIF picture has no pixels");
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    return PackRgb(plane, width, height, stride, alpha ? 4 : 3);
  }

 private:
  std::unique_ptr<heif_context, void (*)(heif_context*)> FContext;
  heif_image_handle* FHandle = nullptr;
};

// A loader's failure as the page will read it (messages may end in a line break).
std::string LoaderMessage(const GError* error) {
  return error ? TrimSpace(error->message) : "unknown picture format";
}

// Any format GdkPixbuf has a loader for.
GdkPixbuf* LoadPixbuf(const std::vector<std::uint8_t>& bytes) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  GError* error = nullptr;
  const bool ok = gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), &error) &&
                  gdk_pixbuf_loader_close(loader, &error);
  if (!ok) {
    if (!error) gdk_pixbuf_loader_close(loader, nullptr);
    const std::string message = LoaderMessage(error);
    g_clear_error(&error);
    g_object_unref(loader);
    throw std::runtime_error(message);
  }
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
  if (pixbuf) g_object_ref(pixbuf);
  g_object_unref(loader);
  if (!pixbuf) throw std::runtime_error("unknown picture format");
  // Photos carry their turn in an orientation tag; show them upright.
  GdkPixbuf* upright = gdk_pixbuf_apply_embedded_orientation(pixbuf);
  g_object_unref(pixbuf);
  return upright;
}

// Asking the loader for a 0x0 picture makes it stop before allocating any.
void RememberAnnouncedSize(GdkPixbufLoader* loader, int width, int height, gpointer size) {
  *static_cast<TImageSize*>(size) = {width, height};
  gdk_pixbuf_loader_set_size(loader, 0, 0);
}

// The size a GdkPixbuf loader announces, read from the picture's header:
// the bytes go in slices and the loader stops at the announcement, so a small
// file claiming an enormous picture is measured rather than decoded. The size
// is the stored one, before any orientation tag turns it.
TImageSize MeasurePixbuf(const std::vector<std::uint8_t>& bytes) {
  constexpr std::size_t kSlice = 65536;
  TImageSize size;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  g_signal_connect(loader, "size-prepared", G_CALLBACK(RememberAnnouncedSize), &size);
  GError* error = nullptr;
  bool ok = true;
  for (std::size_t at = 0; ok && size.width <= 0 && at < bytes.size(); at += kSlice) {
    ok = gdk_pixbuf_loader_write(loader, bytes.data() + at, std::min(kSlice, bytes.size() - at), &error);
  }
  // A failed write has closed the loader already. Closing early reports the
  // unread rest as an error, which is expected once the size is known.
  if (ok && size.width <= 0) {
    gdk_pixbuf_loader_close(loader, &error);
  } else if (ok) {
    GError* unread = nullptr;
    gdk_pixbuf_loader_close(loader, &unread);
    g_clear_error(&unread);
  }
  const std::string message = LoaderMessage(error);
  g_clear_error(&error);
  g_object_unref(loader);
  if (size.width <= 0 || size.height <= 0) throw std::runtime_error(message);
  return size;
}

}  // namespace

TImageSize TLinuxImageCodec::ReadSize(const std::vector<std::uint8_t>& encoded) {
  if (LooksLikeHeif(encoded)) return THeifFile(encoded).Size();
  return MeasurePixbuf(encoded);
}

TRgbImage TLinuxImageCodec::Decode(const std::vector<std::uint8_t>& encoded) {
  if (LooksLikeHeif(encoded)) return THeifFile(encoded).Decode();
  GdkPixbuf* pixbuf = LoadPixbuf(encoded);
  TRgbImage image = PackRgb(gdk_pixbuf_read_pixels(pixbuf), gdk_pixbuf_get_width(pixbuf),
                                     gdk_pixbuf_get_height(pixbuf), gdk_pixbuf_get_rowstride(pixbuf),
                                     gdk_pixbuf_get_n_channels(pixbuf));
  g_object_unref(pixbuf);
  return image;
}

namespace {

// A TurboJPEG handle for one call.
class TTurboJpeg {
 public:
  explicit TTurboJpeg(tjhandle handle) : FHandle(handle) {
    if (!FHandle) throw std::runtime_error(tjGetErrorStr2(nullptr));
  }
  ~TTurboJpeg() { tjDestroy(FHandle); }
  TTurboJpeg(const TTurboJpeg&) = delete;
  TTurboJpeg& operator=(const TTurboJpeg&) = delete;
  tjhandle Get() const { return FHandle; }
  [[noreturn]] void Fail() const { throw std::runtime_error(TrimSpace(tjGetErrorStr2(FHandle))); }

 private:
  tjhandle FHandle;
};

std::vector<std::uint8_t> Compress(const std::uint8_t* pixels, int width, int height, int format, int subsampling,
                                   int quality, int flags) {
  TTurboJpeg compressor(tjInitCompress());
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  if (tjCompress2(compressor.Get(), pixels, width, 0, height, format, &jpeg, &size, subsampling, quality, flags) != 0) {
    tjFree(jpeg);
    compressor.Fail();
  }
  std::vector<std::uint8_t> out(jpeg, jpeg + size);
  tjFree(jpeg);
  return out;
}

}  // namespace

std::vector<std::uint8_t> TLinuxImageCodec::EncodeJpeg(const TRgbImage& image, int quality) {
  if (image.width <= 0 || image.height <= 0 ||
      image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3)
    throw std::runtime_error("no picture to encode");
  return Compress(image.rgb.data(), image.width, image.height, TJPF_RGB, TJSAMP_420, quality, TJFLAG_ACCURATEDCT);
}

TJpegPixels TLinuxImageCodec::DecodeJpegScaled(std::span<const std::uint8_t> jpeg, int minWidth, int minHeight) {
  TTurboJpeg decompressor(tjInitDecompress());
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colorspace = 0;
  if (tjDecompressHeader3(decompressor.Get(), jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colorspace) != 0)
    decompressor.Fail();
  // The factors come largest first: the last one that still covers the wanted size.
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  tjscalingfactor chosen{1, 1};
  for (int i = 0; i < count; ++i) {
    const tjscalingfactor f = factors[i];
    if (f.num > f.denom) continue;
    if (TJSCALED(width, f) >= minWidth && TJSCALED(height, f) >= minHeight &&
        TJSCALED(width, f) * TJSCALED(height, f) < TJSCALED(width, chosen) * TJSCALED(height, chosen))
      chosen = f;
  }
  const int format = colorspace == TJCS_GRAY ? TJPF_GRAY
                     : colorspace == TJCS_CMYK || colorspace == TJCS_YCCK ? TJPF_CMYK
                                                                          : TJPF_RGB;
  TJpegPixels pixels{TJSCALED(width, chosen), TJSCALED(height, chosen), tjPixelSize[format], {}};
  pixels.data.resize(static_cast<std::size_t>(pixels.width) * pixels.height * pixels.channels);
  if (tjDecompress2(decompressor.Get(), jpeg.data(), jpeg.size(), pixels.data.data(), pixels.width, 0, pixels.height,
                    format, TJFLAG_LIMITSCANS) != 0 &&
      tjGetErrorCode(decompressor.Get()) == TJERR_FATAL)
    decompressor.Fail();  // a warning (a file cut short) still gives the picture, as a browser shows it
  return pixels;
}

std::vector<std::uint8_t> TLinuxImageCodec::EncodeJpegPixels(const TJpegPixels& pixels, int quality) {
  const int format = pixels.channels == 1 ? TJPF_GRAY : pixels.channels == 3 ? TJPF_RGB : pixels.channels == 4 ? TJPF_CMYK : -1;
  if (format < 0 || pixels.width <= 0 || pixels.height <= 0 ||
      pixels.data.size() != static_cast<std::size_t>(pixels.width) * pixels.height * pixels.channels)
    throw std::runtime_error("no picture to encode");
  // Colour at full resolution: the reduced picture is drawn at about its
  // size, where halved colour would blur the edges of saturated colours.
  const int subsampling = format == TJPF_GRAY ? TJSAMP_GRAY : TJSAMP_444;
  return Compress(pixels.data.data(), pixels.width, pixels.height, format, subsampling, quality, 0);
}
