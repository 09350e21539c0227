// GLib's headers name struct members "signals", which Qt defines as a
// keyword: they come first.
#include <fprint.h>

#include "modules/finger/Minutiae.h"

#include <cstring>

#include "modules/common/Wipe.h"

namespace Finger {

namespace {

// Only minutiae this far inside the print count.
constexpr float OnPrint = 0.9f;

struct Detection {
    bool done = false;
    bool ok = false;
};

void detected(GObject* source, GAsyncResult* result, gpointer data)
{
    auto* d = static_cast<Detection*>(data);
    GError* error = nullptr;
    d->ok = fp_image_detect_minutiae_finish(FP_IMAGE(source), result, &error);
    if (error)
        g_error_free(error);
    d->done = true;
}

// The pixels handed to the detector describe a finger: overwritten before
// the image goes.
void wipeImage(FpImage* image)
{
    gsize length = 0;
    if (auto* data = const_cast<guchar*>(fp_image_get_data(image, &length)))
        Common::wipe(data, length);
    if (auto* binary = const_cast<guchar*>(fp_image_get_binarized(image, &length)))
        Common::wipe(binary, length);
}

} // namespace

std::vector<Minutia> detectMinutiae(const GreyImage& image, const RidgeField& field)
{
    std::vector<Minutia> out;
    if (image.isNull() || field.isEmpty())
        return out;
    FpImage* fp = fp_image_new(image.width, image.height);
    gsize length = 0;
    auto* pixels = const_cast<guchar*>(fp_image_get_data(fp, &length));
    if (!pixels || length != image.pixels.size()) {
        g_object_unref(fp);
        return out;
    }
    std::memcpy(pixels, image.pixels.data(), length);
    // The detector answers through the calling thread's default context;
    // a context of our own keeps that answer away from any other loop.
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    Detection d;
    fp_image_detect_minutiae(fp, nullptr, detected, &d);
    while (!d.done)
        g_main_context_iteration(context, TRUE);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    GPtrArray* found = d.ok ? fp_image_get_minutiae(fp) : nullptr;
    for (guint i = 0; found && i < found->len; ++i) {
        gint x = 0, y = 0;
        fp_minutia_get_coords(static_cast<FpMinutia*>(g_ptr_array_index(found, i)), &x, &y);
        float re, im, weight;
        if (field.sample(float(x), float(y), re, im, weight) && weight >= OnPrint)
            out.push_back({float(x), float(y)});
    }
    wipeImage(fp);
    g_object_unref(fp);
    return out;
}

} // namespace Finger
