#include "platform/linux/VideoRemux.h"

#include <glib/gstdio.h>
#include <gst/gst.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/linux/Mp4Repair.h"
#include "shared/Diagnostics.h"

namespace {

constexpr GstClockTime kRemuxTimeout = 60 * GST_SECOND;

// A file in the temporary folder, removed when this goes out of scope.
class TTempFile {
 public:
  TTempFile() {
    GError* error = nullptr;
    gchar* path = nullptr;
    const int fd = g_file_open_tmp("tessary-video-XXXXXX.mp4", &path, &error);
    if (fd < 0) {
      const std::string message = error ? error->message : "cannot create a temporary file";
      g_clear_error(&error);
      throw std::runtime_error(message);
    }
    close(fd);
    FPath = path;
    g_free(path);
  }
  ~TTempFile() { g_unlink(FPath.c_str()); }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TUnrefPipeline {
  void operator()(GstElement* element) const {
    gst_element_set_state(element, GST_STATE_NULL);
    gst_object_unref(element);
  }
};

void RunRemuxPipeline(const std::string& inPath, const std::string& outPath) {
  GError* error = nullptr;
  if (!gst_init_check(nullptr, nullptr, &error)) {
    const std::string message = error ? error->message : "GStreamer is not available";
    g_clear_error(&error);
    throw std::runtime_error(message);
  }
  GstElement* raw = gst_parse_launch(
      "filesrc name=src ! qtdemux name=demux demux.video_0 ! queue ! h264parse ! "
      "mp4mux faststart=true ! filesink name=sink",
      &error);
  if (!raw || error) {
    const std::string message = error ? error->message : "cannot build the remux pipeline";
    g_clear_error(&error);
    if (raw) gst_object_unref(raw);
    throw std::runtime_error(message);
  }
  std::unique_ptr<GstElement, TUnrefPipeline> pipeline(raw);
  GstElement* src = gst_bin_get_by_name(GST_BIN(raw), "src");
  GstElement* sink = gst_bin_get_by_name(GST_BIN(raw), "sink");
  g_object_set(src, "location", inPath.c_str(), nullptr);
  g_object_set(sink, "location", outPath.c_str(), nullptr);
  gst_object_unref(src);
  gst_object_unref(sink);

  if (gst_element_set_state(raw, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
    throw std::runtime_error("the remux pipeline does not start");
  GstBus* bus = gst_element_get_bus(raw);
  GstMessage* message = gst_bus_timed_pop_filtered(
      bus, kRemuxTimeout, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  gst_object_unref(bus);
  if (!message) throw std::runtime_error("remuxing took too long");
  std::string failure;
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    GError* gstError = nullptr;
    gst_message_parse_error(message, &gstError, nullptr);
    failure = gstError ? gstError->message : "remuxing failed";
    g_clear_error(&gstError);
  }
  gst_message_unref(message);
  if (!failure.empty()) throw std::runtime_error(failure);
}

}  // namespace

std::vector<std::uint8_t> RemuxToRegularMp4(const std::vector<std::uint8_t>& mp4) {
  TTempFile input;
  TTempFile output;
  WriteAll(input.Path(), mp4);
  RunRemuxPipeline(input.Path(), output.Path());
  std::vector<std::uint8_t> result = ReadAll(output.Path());
  if (result.empty()) throw std::runtime_error("remuxing produced no data");
  return result;
}

std::vector<std::uint8_t> FinishRecordedMp4(std::vector<std::uint8_t> bytes) {
  if (!IsFragmentedMp4(bytes)) return bytes;
  if (auto repaired = RepairRecordedMp4(bytes)) bytes = std::move(*repaired);
  try {
    return RemuxToRegularMp4(bytes);
  } catch (const std::exception& e) {
    LogDiagnostic("video", std::string("MP4 kept as recorded, remuxing failed: ") + e.what());
    return bytes;
  }
}
