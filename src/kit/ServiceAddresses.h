#pragma once

// Every outside host or address that the program itself names lives here, one constant each; code and
// tests use these constants, never a literal. The torrent-index sites are ours to name and have no real
// host (".invalid"): we vouch for no index site.
namespace ombrelay::service {

// Web-search engines (public hosts; their "http" answers redirect to "https").
inline constexpr char kWebSearchHost[] = "www.google.com";
inline constexpr char kSecondWebSearchHost[] = "www.bing.com";
// The web panes' home page: the registered value of "kDefaultSite".
inline constexpr char kDefaultSiteURL[] = "https://www.google.com/";

// Search suggestions: "http://" + host + "/complete/search?client=safari&q=" and the escaped text.
inline constexpr char kSuggestionHost[] = "www.google.com";

// Feeds, site icons and address shortening.
// The address-shortening service: "http://" + host + "/api.php?longurl=" and the escaped long address.
inline constexpr char kAddressShortenerHost[] = "is.gd";
// The torrent-index site whose feed entries link detail pages under "/tor/" and serve their torrent file
// under "/get/"; ours to name, so it has no real host.
inline constexpr char kFeedIndexSitePrefix[] = "http://feed-index.invalid/tor/";

// Search sites, torrent-link rules and the hash lookup.
// The default user site (a third web-search engine) and the paged engine's home page, for its icon.
inline constexpr char kDefaultUserSiteHost[] = "search.yahoo.com";
inline constexpr char kWebSearchHomePage[] = "http://www.google.com/";
// The four built-in torrent-index sites: identifier, display name and host of each.
inline constexpr char kIndexSiteAIdentifier[] = "alder";
inline constexpr char kIndexSiteAName[] = "Alder";
inline constexpr char kIndexSiteAHost[] = "alder.invalid";
inline constexpr char kIndexSiteBIdentifier[] = "birch";
inline constexpr char kIndexSiteBName[] = "Birch";
inline constexpr char kIndexSiteBHost[] = "birch.invalid";
inline constexpr char kIndexSiteCIdentifier[] = "cedar";
inline constexpr char kIndexSiteCName[] = "Cedar";
inline constexpr char kIndexSiteCHost[] = "cedar.invalid";
inline constexpr char kIndexSiteDIdentifier[] = "dogwood";
inline constexpr char kIndexSiteDName[] = "Dogwood";
inline constexpr char kIndexSiteDHost[] = "dogwood.invalid";
// Addresses that are never torrent links: the engine's page cache and three link farms.
inline constexpr char kWebSearchCacheHost[] = "webcache.googleusercontent.com";
inline constexpr char kLinkFarmHostA[] = "farm-elm.invalid";
inline constexpr char kLinkFarmHostB[] = "farm-fir.invalid";
inline constexpr char kLinkFarmHostC[] = "farm-gum.invalid";
// Hash-lookup answers linking these domains are not followed.
inline constexpr char kWebSearchDomain[] = "google.com";
inline constexpr char kVideoSiteDomain[] = "youtube.com";
// Torrent sites of the link rules, one host each (rules 12 and 14 rewrite to a download host of the
// same site; rule 19 is rule 18's site under a second domain; rule 15 matches a domain).
inline constexpr char kRuleHostA[] = "files.hazel.invalid";
inline constexpr char kRuleHostB[] = "holly.invalid";
inline constexpr char kRuleHostC[] = "ivy.invalid";
inline constexpr char kRuleHostD[] = "juniper.invalid";
inline constexpr char kRuleHostE[] = "kapok.invalid";
inline constexpr char kRuleHostF[] = "larch.invalid";
inline constexpr char kRuleHostG[] = "maple.invalid";
inline constexpr char kRuleHostH[] = "nutmeg.invalid";
inline constexpr char kRuleHostI[] = "oak.invalid";
inline constexpr char kRuleHostJ[] = "palm.invalid";
inline constexpr char kRuleHostK[] = "quince.invalid";
inline constexpr char kRuleHostL[] = "rowan.invalid";
inline constexpr char kRuleDownloadHostL[] = "dl.rowan.invalid";
inline constexpr char kRuleHostM[] = "spruce.invalid";
inline constexpr char kRuleHostN[] = "teak.invalid";
inline constexpr char kRuleDownloadHostN[] = "dl.teak.invalid";
inline constexpr char kRuleHostO[] = "www.umbra.invalid";
inline constexpr char kRuleDomainO[] = "umbra.invalid";
inline constexpr char kRuleHostP[] = "viburnum.invalid";
inline constexpr char kRuleHostQ[] = "willow.invalid";
inline constexpr char kRuleHostR[] = "yew.invalid";
inline constexpr char kRuleHostS[] = "yew-mirror.invalid";
// End of search.

// Downloads: sites that publish only freely distributable content, authorised without the right-to-copy
// question.
inline constexpr char kAuthorizedHostA[] = "archive.org";
inline constexpr char kAuthorizedHostB[] = "cdimage.debian.org";
inline constexpr char kAuthorizedHostC[] = "torrent.ubuntu.com";

// The application frame: the product's pages the menus open. No blocklist provider is ours to name: the
// user names one in the blocklist pane ("kBlocklistProvider").
inline constexpr char kProductSiteURL[] = "https://www.ombrelay.invalid/";
inline constexpr char kSupportSiteURL[] = "https://www.ombrelay.invalid/support/";
inline constexpr char kBlogURL[] = "https://blog.ombrelay.invalid/";
inline constexpr char kProductShortMessagePageURL[] = "https://www.ombrelay.invalid/short-messages/";
inline constexpr char kProductSocialPageURL[] = "https://www.ombrelay.invalid/social/";
inline constexpr char kFeedbackAddress[] = "feedback@ombrelay.invalid";
// The maker's site.
inline constexpr char kMakerSiteURL[] = "https://www.vrask.invalid/";

// The shopping site searched from a search item's context menu; the terms follow "k=".
inline constexpr char kShoppingSearchHost[] = "www.amazon.com";
inline constexpr char kShoppingSearchPath[] = "/s?k=";

// The short-message service whose status page shares a result ("/home?status=").
inline constexpr char kShortMessageHost[] = "twitter.com";
// Its sign-up page, opened from the general preferences.
inline constexpr char kShortMessageSignUpURL[] = "https://twitter.com/signup";

}  // namespace ombrelay::service
