#pragma once
// libcurl, loaded on first use. A daemon whose servers answer never needs the web time page,
// and so never maps libcurl and the dozens of libraries it pulls in (TLS, Kerberos, LDAP, ...),
// which would otherwise make up most of its resident memory while it waits.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

namespace kelvra::platform::curl {

struct Api {
    decltype(&::curl_easy_init) easy_init;
    decltype(&::curl_easy_setopt) easy_setopt;
    decltype(&::curl_easy_perform) easy_perform;
    decltype(&::curl_easy_getinfo) easy_getinfo;
    decltype(&::curl_easy_cleanup) easy_cleanup;
    decltype(&::curl_slist_append) slist_append;
    decltype(&::curl_slist_free_all) slist_free_all;
    decltype(&::curl_url) url;
    decltype(&::curl_url_cleanup) url_cleanup;
    decltype(&::curl_url_get) url_get;
    decltype(&::curl_url_set) url_set;
    decltype(&::curl_free) free;
};

// The loaded library, initialised once; null when it cannot be loaded (then every fetch fails
// as the platform failing, status -1).
const Api* Load();

}  // namespace kelvra::platform::curl
