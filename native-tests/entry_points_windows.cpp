// Windows loader: LoadLibrary and GetProcAddress by the names the Java VM on Windows looks up.
// 32-bit exports carry the stdcall decoration (leading underscore, "@" and the argument bytes);
// 64-bit Windows has one calling convention and no decoration.
#include <windows.h>

#include "entry_points.h"

#ifndef VELMORA_LIBRARY_PATH
#error "VELMORA_LIBRARY_PATH must name the built VelmoraJava.dll"
#endif

namespace {

#if defined(_WIN64)
constexpr const char* kInitName = "Java_com_tessivar_bms_can_kvaser_Velmora__1init";
constexpr const char* kSendName = "Java_com_tessivar_bms_can_kvaser_Velmora__1send";
constexpr const char* kReadName = "Java_com_tessivar_bms_can_kvaser_Velmora__1read";
constexpr const char* kCloseName = "Java_com_tessivar_bms_can_kvaser_Velmora__1close";
#else
constexpr const char* kInitName = "_Java_com_tessivar_bms_can_kvaser_Velmora__1init@16";
constexpr const char* kSendName = "_Java_com_tessivar_bms_can_kvaser_Velmora__1send@24";
constexpr const char* kReadName = "_Java_com_tessivar_bms_can_kvaser_Velmora__1read@16";
constexpr const char* kCloseName = "_Java_com_tessivar_bms_can_kvaser_Velmora__1close@12";
#endif

template <typename Function>
bool resolve(HMODULE library, const char* name, Function* out, std::string* error) {
  FARPROC symbol = GetProcAddress(library, name);
  if (symbol == nullptr) {
    *error = std::string(VELMORA_LIBRARY_PATH " does not export ") + name;
    return false;
  }
  *out = reinterpret_cast<Function>(reinterpret_cast<void*>(symbol));
  return true;
}

}  // namespace

bool loadEntryPoints(EntryPoints* out, std::string* error) {
  // Kept loaded for the life of the process, as a VM keeps a loaded native library. Windows finds
  // the DLL, and the canlib32.dll it imports, next to the test program.
  static HMODULE library = LoadLibraryA(VELMORA_LIBRARY_PATH);
  if (library == nullptr) {
    *error = std::string("cannot load " VELMORA_LIBRARY_PATH ": Windows error ") +
             std::to_string(GetLastError());
    return false;
  }
  return resolve(library, kInitName, &out->init, error) &&
         resolve(library, kSendName, &out->send, error) &&
         resolve(library, kReadName, &out->read, error) &&
         resolve(library, kCloseName, &out->close, error);
}
