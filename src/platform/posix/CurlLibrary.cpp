#include "platform/posix/CurlLibrary.h"

#include <dlfcn.h>

namespace kelvra::platform::curl {
namespace {

template <typename F>
bool Resolve(void* library, const char* name, F& out) {
    out = reinterpret_cast<F>(dlsym(library, name));
    return out != nullptr;
}

const Api* LoadOnce() {
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    static Api api;
    decltype(&::curl_global_init) globalInit = nullptr;
    const bool ok = Resolve(library, "curl_global_init", globalInit) &&
                    Resolve(library, "curl_easy_init", api.easy_init) &&
                    Resolve(library, "curl_easy_setopt", api.easy_setopt) &&
                    Resolve(library, "curl_easy_perform", api.easy_perform) &&
                    Resolve(library, "curl_easy_getinfo", api.easy_getinfo) &&
                    Resolve(library, "curl_easy_cleanup", api.easy_cleanup) &&
                    Resolve(library, "curl_slist_append", api.slist_append) &&
                    Resolve(library, "curl_slist_free_all", api.slist_free_all) &&
                    Resolve(library, "curl_url", api.url) &&
                    Resolve(library, "curl_url_cleanup", api.url_cleanup) &&
                    Resolve(library, "curl_url_get", api.url_get) &&
                    Resolve(library, "curl_url_set", api.url_set) &&
                    Resolve(library, "curl_free", api.free);
    // The library stays loaded for the life of the process once it was needed.
    if (!ok || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
    return &api;
}

}  // namespace

const Api* Load() {
    static const Api* const api = LoadOnce();  // thread-safe, once
    return api;
}

}  // namespace kelvra::platform::curl
