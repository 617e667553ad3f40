#pragma once
// Ownership of GLib objects and of C++ data handed to GLib callbacks.

#include <glib-object.h>

#include <memory>

template <typename T>
struct GObjectUnref {
    void operator()(T* object) const { g_object_unref(object); }
};

// Holds one reference to a GObject.
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref<T>>;

// Takes an extra reference, for objects this code does not own yet.
template <typename T>
GObjectPtr<T> add_ref(T* object)
{
    return GObjectPtr<T>(static_cast<T*>(g_object_ref(object)));
}

// Moves a C++ value to the heap for a GLib callback's user data; GLib gives it
// back to free_callback_data when the callback is no longer needed.
template <typename T>
gpointer callback_data(T value)
{
    return std::make_unique<T>(std::move(value)).release();
}

template <typename T>
void free_callback_data(gpointer data)
{
    std::unique_ptr<T>{static_cast<T*>(data)};
}

template <typename T>
void free_closure_data(gpointer data, GClosure*)
{
    free_callback_data<T>(data);
}
