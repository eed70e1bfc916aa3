#include "platform/linux/WebSchemes.h"

#include <gio/gio.h>

#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <utility>

#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"
#include "shared/Origins.h"

namespace {

constexpr std::string_view kSchemes[] = {origins::kPageScheme, origins::kPhotoScheme, origins::kLivePhotoScheme,
                                         origins::kAlbumFilesScheme};

// The answer's content as a stream; `length` is -1 when unknown.
GInputStream* ContentStream(const TWebResponse& answer, gint64& length) {
  length = 0;
  if (!answer.filePath.empty()) {
    GFile* file = g_file_new_for_path(answer.filePath.c_str());
    GError* error = nullptr;
    GFileInputStream* stream = g_file_read(file, nullptr, &error);
    GFileInfo* info = stream ? g_file_input_stream_query_info(stream, G_FILE_ATTRIBUTE_STANDARD_SIZE, nullptr, nullptr)
                             : nullptr;
    length = info ? g_file_info_get_size(info) : -1;
    if (info) g_object_unref(info);
    g_object_unref(file);
    if (!stream) {
      LogDiagnostic("web", answer.filePath + ": " + (error ? error->message : "cannot open"));
      g_clear_error(&error);
      return nullptr;
    }
    return G_INPUT_STREAM(stream);
  }
  if (!answer.resource.empty()) {
    length = static_cast<gint64>(answer.resource.size());
    return g_memory_input_stream_new_from_data(answer.resource.data(), length, nullptr);
  }
  GBytes* bytes = g_bytes_new(answer.body.data(), answer.body.size());
  length = static_cast<gint64>(answer.body.size());
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  g_bytes_unref(bytes);
  return stream;
}

struct TSchemeHandler {
  TWebRouter* router;
  TBackgroundWork* background;
};

void Finish(WebKitURISchemeRequest* request, TWebResponse answer) {
  if (!answer.answered) {
    answer.answered = true;
    answer.status = 404;
    answer.reason = "Not Found";
    answer.headers = {{"Content-Type", "text/plain; charset=utf-8"}};
  }
  WebKitURISchemeResponse* response = BuildSchemeResponse(answer);
  if (!response) {
    TWebResponse missing;
    missing.status = 404;
    missing.reason = "Not Found";
    response = BuildSchemeResponse(missing);
  }
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
}

// Files up to this size are read whole on a worker thread and handed over
// from memory. The browser reads an answer's stream 8 KiB at a time, and
// every read of a file stream is a trip through GIO's worker threads: for
// the photos of an import that cost more than their decoding.
constexpr std::uintmax_t kReadWholeBytes = 64u << 20;

// The answer with its file's content in memory; as it was when the file is
// larger or cannot be read now (the stream then reports why).
TWebResponse ReadWhole(TWebResponse answer) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(answer.filePath, error);
  if (error || size > kReadWholeBytes) return answer;
  try {
    answer.body = ReadFileBytes(answer.filePath);
    answer.filePath.clear();
  } catch (const std::exception&) {
    // streamed below, which names the failure
  }
  return answer;
}

void HandleSchemeRequest(WebKitURISchemeRequest* request, gpointer data) {
  const auto* handler = static_cast<TSchemeHandler*>(data);
  const char* uri = webkit_uri_scheme_request_get_uri(request);
  TWebResponse answer = (*handler->router)(uri ? uri : "");
  if (!answer.makeLater && !answer.filePath.empty()) {
    const TWebResponse file = std::exchange(answer, TWebResponse{});
    answer.makeLater = [file] { return ReadWhole(file); };
  }
  if (!answer.makeLater) return Finish(request, std::move(answer));
  // Made on a worker thread, so the window and other requests go on meanwhile.
  std::shared_ptr<WebKitURISchemeRequest> held(WEBKIT_URI_SCHEME_REQUEST(g_object_ref(request)), g_object_unref);
  auto made = std::make_shared<TWebResponse>();
  handler->background->Run([made, makeLater = std::move(answer.makeLater)] { *made = makeLater(); },
                           [held, made] { Finish(held.get(), std::move(*made)); });
}

}  // namespace

void RegisterWebSchemes(WebKitWebContext* context, TWebRouter* router, TBackgroundWork* background) {
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  for (std::string_view scheme : kSchemes) {
    const std::string name(scheme);
    webkit_web_context_register_uri_scheme(context, name.c_str(), HandleSchemeRequest,
                                           new TSchemeHandler{router, background},
                                           [](gpointer data) { delete static_cast<TSchemeHandler*>(data); });
    webkit_security_manager_register_uri_scheme_as_secure(security, name.c_str());
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, name.c_str());
  }
}

WebKitURISchemeResponse* BuildSchemeResponse(const TWebResponse& answer) {
  gint64 length = 0;
  GInputStream* stream = ContentStream(answer, length);
  if (!stream) return nullptr;
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, length);
  g_object_unref(stream);
  webkit_uri_scheme_response_set_status(response, answer.status, answer.reason.c_str());

  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  for (const auto& [name, value] : answer.headers) soup_message_headers_append(headers, name.c_str(), value.c_str());
  const bool hasContent = length != 0;
  const std::string* type = answer.Header("Content-Type");
  const std::string contentType =
      type ? *type : (hasContent ? "application/octet-stream" : "text/plain; charset=utf-8");
  if (!type) soup_message_headers_append(headers, "Content-Type", contentType.c_str());
  if (!answer.Header("Access-Control-Allow-Origin")) soup_message_headers_append(headers, "Access-Control-Allow-Origin", "*");
  webkit_uri_scheme_response_set_content_type(response, contentType.c_str());
  webkit_uri_scheme_response_set_http_headers(response, headers);
  return response;
}
