// The trace decoder's library, loaded on first use by the name the build found it under.
#include "trace/IoLib.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <string>

#ifndef MF_IOLIB_SONAME
#define MF_IOLIB_SONAME "libstaden-read.so"
#endif

namespace Ovik {
namespace iolib {

namespace {

struct Api {
    decltype(&::mfcreate) mfcreate = nullptr;
    decltype(&::mfdestroy) mfdestroy = nullptr;
    decltype(&::mfsteal) mfsteal = nullptr;
    decltype(&::fdetermine_trace_type) fdetermine_trace_type = nullptr;
    decltype(&::trace_type_str2int) trace_type_str2int = nullptr;
    decltype(&::mfread_reading) mfread_reading = nullptr;
    decltype(&::read_sections) read_sections = nullptr;
    decltype(&::read_deallocate) read_deallocate = nullptr;
    decltype(&::mfread_ztr) mfread_ztr = nullptr;
    decltype(&::uncompress_ztr) uncompress_ztr = nullptr;
    decltype(&::ztr2read) ztr2read = nullptr;
    decltype(&::delete_ztr) delete_ztr = nullptr;
    decltype(&::exp_mfread_info) exp_mfread_info = nullptr;
    decltype(&::exp_destroy_info) exp_destroy_info = nullptr;
};

Api api;
std::string failure;          // why the library could not be loaded, once tried
std::once_flag tried;
std::atomic<bool> ready{false};

template <class F>
bool take(void* library, const char* name, F& slot) {
    slot = reinterpret_cast<F>(::dlsym(library, name));
    if (!slot)
        failure = std::string("the chromatogram decoder's library ") + MF_IOLIB_SONAME + " lacks " + name;
    return slot != nullptr;
}

void load() {
    // Never unloaded: records it allocated may outlive any one call, and the process ends soon
    // enough. RTLD_LOCAL keeps its symbols out of the way of everything loaded later.
    void* library = ::dlopen(MF_IOLIB_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = ::dlerror();
        failure = std::string("cannot load the chromatogram decoder's library ") + MF_IOLIB_SONAME +
                  ": " + (why ? why : "unknown reason") + " (install io_lib: Debian's libstaden-read14)";
        return;
    }
    Api loaded;
    const bool all = take(library, "mfcreate", loaded.mfcreate) && take(library, "mfdestroy", loaded.mfdestroy) &&
                     take(library, "mfsteal", loaded.mfsteal) &&
                     take(library, "fdetermine_trace_type", loaded.fdetermine_trace_type) &&
                     take(library, "trace_type_str2int", loaded.trace_type_str2int) &&
                     take(library, "mfread_reading", loaded.mfread_reading) &&
                     take(library, "read_sections", loaded.read_sections) &&
                     take(library, "read_deallocate", loaded.read_deallocate) &&
                     take(library, "mfread_ztr", loaded.mfread_ztr) &&
                     take(library, "uncompress_ztr", loaded.uncompress_ztr) &&
                     take(library, "ztr2read", loaded.ztr2read) && take(library, "delete_ztr", loaded.delete_ztr) &&
                     take(library, "exp_mfread_info", loaded.exp_mfread_info) &&
                     take(library, "exp_destroy_info", loaded.exp_destroy_info);
    if (!all)
        return;
    api = loaded;
    ready.store(true, std::memory_order_release);
}

const Api& functions() {
    if (!ready.load(std::memory_order_acquire)) {
        std::call_once(tried, load);
        if (!ready.load(std::memory_order_acquire))
            throw Unavailable(failure);
    }
    return api;
}

} // namespace

mFILE* mfcreate(char* data, int size) { return functions().mfcreate(data, size); }
int mfdestroy(mFILE* file) { return functions().mfdestroy(file); }
void* mfsteal(mFILE* file, size_t* size) { return functions().mfsteal(file, size); }
int fdetermine_trace_type(mFILE* file) { return functions().fdetermine_trace_type(file); }
int trace_type_str2int(char* name) { return functions().trace_type_str2int(name); }
Read* mfread_reading(mFILE* file, char* name, int format) { return functions().mfread_reading(file, name, format); }
int read_sections(int sections) { return functions().read_sections(sections); }
void read_deallocate(Read* read) { functions().read_deallocate(read); }
ztr_t* mfread_ztr(mFILE* file) { return functions().mfread_ztr(file); }
int uncompress_ztr(ztr_t* ztr) { return functions().uncompress_ztr(ztr); }
Read* ztr2read(ztr_t* ztr) { return functions().ztr2read(ztr); }
void delete_ztr(ztr_t* ztr) { functions().delete_ztr(ztr); }
Exp_info* exp_mfread_info(mFILE* file) { return functions().exp_mfread_info(file); }
void exp_destroy_info(Exp_info* info) { functions().exp_destroy_info(info); }

} // namespace iolib
} // namespace Ovik
