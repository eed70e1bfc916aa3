/*
 * "autovideoflip": a bin around "videoflip" that turns frames by their
 * orientation tag. The browser's MediaRecorder builds its MP4 pipeline with
 * this element; GStreamer 1.22 does not ship it, and without it the recorder
 * silently delivers no data. The program puts this plugin's folder on
 * GST_PLUGIN_PATH before the browser starts.
 *
 * The element sits in front of the encoder, and its frames first wait in a
 * queue of their own: the browser hands captured frames to the pipeline
 * through a source that holds one frame and drops the next while the thread
 * behind it is busy, and without the queue that thread also converts and
 * encodes, so a frame that takes long to encode makes the recording lose
 * later ones. The page records no further ahead of the file than the queue
 * holds; its limit only bounds the memory of a page that does not.
 */
#include <gst/gst.h>
#include <gst/video/video.h>

#define TESSARY_TYPE_AUTO_VIDEO_FLIP (tessary_auto_video_flip_get_type())
G_DECLARE_FINAL_TYPE(TessaryAutoVideoFlip, tessary_auto_video_flip, TESSARY, AUTO_VIDEO_FLIP, GstBin)

// About 30 frames of 4K video.
#define QUEUE_LIMIT_BYTES (1024u * 1024u * 1024u)

struct _TessaryAutoVideoFlip {
  GstBin parent;
  GstElement *flip; /* NULL when "videoflip" is missing; frames then pass unchanged */
  GstVideoOrientationMethod direction;
};

G_DEFINE_TYPE(TessaryAutoVideoFlip, tessary_auto_video_flip, GST_TYPE_BIN)

enum { PROP_0, PROP_VIDEO_DIRECTION };

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
static GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

static void add_ghost_pad(GstElement *bin, GstElement *inner, const char *name) {
  GstPad *target = gst_element_get_static_pad(inner, name);
  GstPadTemplate *templ = gst_static_pad_template_get(g_str_equal(name, "sink") ? &sink_template : &src_template);
  gst_element_add_pad(bin, gst_ghost_pad_new_from_template(name, target, templ));
  gst_object_unref(templ);
  gst_object_unref(target);
}

static void tessary_auto_video_flip_init(TessaryAutoVideoFlip *self) {
  self->direction = GST_VIDEO_ORIENTATION_AUTO;
  self->flip = gst_element_factory_make("videoflip", NULL);
  GstElement *inner = self->flip ? self->flip : gst_element_factory_make("identity", NULL);
  GstElement *queue = gst_element_factory_make("queue", NULL);
  if (!inner || !queue) {
    if (inner) gst_object_unref(inner);
    if (queue) gst_object_unref(queue);
    self->flip = NULL;
    return;
  }
  if (self->flip) g_object_set(self->flip, "video-direction", self->direction, NULL);
  g_object_set(queue, "max-size-buffers", 0u, "max-size-time", (guint64)0, "max-size-bytes", QUEUE_LIMIT_BYTES, NULL);
  gst_bin_add_many(GST_BIN(self), queue, inner, NULL);
  gst_element_link(queue, inner);
  add_ghost_pad(GST_ELEMENT(self), queue, "sink");
  add_ghost_pad(GST_ELEMENT(self), inner, "src");
}

static void tessary_auto_video_flip_set_property(GObject *object, guint id, const GValue *value, GParamSpec *pspec) {
  TessaryAutoVideoFlip *self = TESSARY_AUTO_VIDEO_FLIP(object);
  if (id != PROP_VIDEO_DIRECTION) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    return;
  }
  self->direction = (GstVideoOrientationMethod)g_value_get_enum(value);
  if (self->flip) g_object_set(self->flip, "video-direction", self->direction, NULL);
}

static void tessary_auto_video_flip_get_property(GObject *object, guint id, GValue *value, GParamSpec *pspec) {
  TessaryAutoVideoFlip *self = TESSARY_AUTO_VIDEO_FLIP(object);
  if (id != PROP_VIDEO_DIRECTION) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    return;
  }
  g_value_set_enum(value, self->direction);
}

static void tessary_auto_video_flip_class_init(TessaryAutoVideoFlipClass *klass) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
  object_class->set_property = tessary_auto_video_flip_set_property;
  object_class->get_property = tessary_auto_video_flip_get_property;
  g_object_class_install_property(
      object_class, PROP_VIDEO_DIRECTION,
      g_param_spec_enum("video-direction", "Video direction", "How frames are turned",
                        GST_TYPE_VIDEO_ORIENTATION_METHOD, GST_VIDEO_ORIENTATION_AUTO,
                        G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS));
  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(element_class, "Automatic video flip", "Filter/Effect/Video",
                                        "Queues video frames and turns them by their orientation tag", "Tessary");
}

static gboolean plugin_init(GstPlugin *plugin) {
  return gst_element_register(plugin, "autovideoflip", GST_RANK_NONE, TESSARY_TYPE_AUTO_VIDEO_FLIP);
}

#define PACKAGE "tessary"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, tessaryflip, "Tessary video helpers", plugin_init, "1.0",
                  "Proprietary", "Tessary", "https://tessary.invalid/")
