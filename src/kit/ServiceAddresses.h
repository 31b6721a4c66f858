#pragma once

// Every outside host or address that the program itself names lives here, one constant each; code and
// tests use these constants, never a literal. The torrent-index sites are ours to name and have no real
// host (".invalid"): we vouch for no index site.
namespace ombrelay::service {

// Web-search engines (public hosts; their "http" answers redirect to "https").
inline constexpr char kWebSearchHost[] = "www.google.com";
inline constexpr char kSecondWebSearchHost[] = "www.bing.com";

// The application frame: the blocklist provider's archive, and the product's pages the menus open.
inline constexpr char kBlocklistURL[] = "http://blocklist.ombrelay.invalid/config/level1.zip";
inline constexpr char kProductSiteURL[] = "https://www.ombrelay.invalid/";
inline constexpr char kSupportSiteURL[] = "https://www.ombrelay.invalid/support/";
inline constexpr char kBlogURL[] = "https://blog.ombrelay.invalid/";

}  // namespace ombrelay::service
