#pragma once

#include <glib-object.h>
#include <memory>

namespace zov::docktile {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// Holds one reference to a GObject.
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

} // namespace zov::docktile
