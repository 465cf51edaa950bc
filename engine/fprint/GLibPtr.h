#pragma once

#include <glib-object.h>

#include <memory>

// Owning pointers for the GLib objects the reader keeps beyond one scope (g_autoptr serves
// within one).
struct TGObjectUnref {
  void operator()(gpointer AObject) const { g_object_unref(AObject); }
};
template <class T>
using TGObjectPtr = std::unique_ptr<T, TGObjectUnref>;

// Takes a new reference to AObject.
template <class T>
TGObjectPtr<T> RefGObject(T* AObject) {
  return TGObjectPtr<T>(static_cast<T*>(g_object_ref(AObject)));
}

struct TGMainContextUnref {
  void operator()(GMainContext* AContext) const { g_main_context_unref(AContext); }
};
using TGMainContextPtr = std::unique_ptr<GMainContext, TGMainContextUnref>;

struct TGMainLoopUnref {
  void operator()(GMainLoop* ALoop) const { g_main_loop_unref(ALoop); }
};
using TGMainLoopPtr = std::unique_ptr<GMainLoop, TGMainLoopUnref>;

// A source attached to a context: detached and released together.
struct TGSourceDestroy {
  void operator()(GSource* ASource) const {
    g_source_destroy(ASource);
    g_source_unref(ASource);
  }
};
using TGSourcePtr = std::unique_ptr<GSource, TGSourceDestroy>;

struct TGPtrArrayUnref {
  void operator()(GPtrArray* AArray) const { g_ptr_array_unref(AArray); }
};
using TGPtrArrayPtr = std::unique_ptr<GPtrArray, TGPtrArrayUnref>;
