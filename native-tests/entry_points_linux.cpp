// Linux loader: the plain JNI names, as the VM's dlsym looks them up.
#include <dlfcn.h>

#include "entry_points.h"

#ifndef VELMORA_LIBRARY_PATH
#error "VELMORA_LIBRARY_PATH must name the built libVelmoraJava.so"
#endif

namespace {

template <typename Function>
bool resolve(void* library, const char* name, Function* out, std::string* error) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) {
    *error = std::string("libVelmoraJava.so does not export ") + name;
    return false;
  }
  *out = reinterpret_cast<Function>(symbol);
  return true;
}

}  // namespace

bool loadEntryPoints(EntryPoints* out, std::string* error) {
  // Kept loaded for the life of the process, as a VM keeps a loaded native library.
  static void* library = dlopen(VELMORA_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = std::string("cannot load " VELMORA_LIBRARY_PATH ": ") +
             (reason != nullptr ? reason : "unknown reason");
    return false;
  }
  return resolve(library, "Java_com_tessivar_bms_can_kvaser_Velmora__1init", &out->init, error) &&
         resolve(library, "Java_com_tessivar_bms_can_kvaser_Velmora__1send", &out->send, error) &&
         resolve(library, "Java_com_tessivar_bms_can_kvaser_Velmora__1read", &out->read, error) &&
         resolve(library, "Java_com_tessivar_bms_can_kvaser_Velmora__1close", &out->close, error);
}
