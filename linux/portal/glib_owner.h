// Owners of the GLib references the portal code holds, released once.
#pragma once

#include <gio/gio.h>

#include <memory>

namespace ravelo::portal {

struct VariantRelease {
  void operator()(GVariant* v) const { g_variant_unref(v); }
};
struct ErrorRelease {
  void operator()(GError* e) const { g_error_free(e); }
};
struct ObjectRelease {
  void operator()(gpointer o) const { g_object_unref(o); }
};

using Variant = std::unique_ptr<GVariant, VariantRelease>;
using Error = std::unique_ptr<GError, ErrorRelease>;
template <typename T>
using Object = std::unique_ptr<T, ObjectRelease>;

// Sinks a floating reference (as g_variant_new makes) into an owner.
inline Variant SinkVariant(GVariant* v) { return Variant(v != nullptr ? g_variant_ref_sink(v) : nullptr); }

}  // namespace ravelo::portal
