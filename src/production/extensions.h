#pragma once

// Supported file types and the acceptance of dropped paths. Shared by the desktop file list, the
// batch engine and mirelo-batch. GUI-free.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirelo::production {

// The search text of ExtOK: six video extensions, four blanks, seven still-image extensions.
// Positions are one-based: avi 1 ... flv 22, jpg 29 ... tif 54.
inline constexpr std::string_view kSupportedExtensions =
    "avi mpeg mpg wmv asf flv    jpg jpeg bmp gif png pct tif";

// ExtOK results from this position on are still images; 1 up to it are videos, 0 unsupported.
inline constexpr std::int16_t kFirstStillPosition = 27;

// The text after the last "." of the name, without the dot; empty when there is no dot or the
// dot is last. The scan does not stop at "/": "/my.pics/photo" gives "pics/photo".
std::string GetFileExt(std::string_view name);

// One-based position of the lowered extension in kSupportedExtensions as a substring search,
// 0 when absent. An empty extension is found at 1, so a name without a dot counts as a video.
std::int16_t ExtOK(std::string_view name);

enum class EntryKind { Video, Still };

// The kind rule of ExtOK: 27 or more is a still image, anything below a video entry.
inline EntryKind KindFromPosition(std::int16_t position) {
  return position >= kFirstStillPosition ? EntryKind::Still : EntryKind::Video;
}

// Today's kinds, which the search text above predates: matched as whole extensions, without regard
// to case. Stills: HEIF/AVIF, WebP, JPEG XL, longer spellings of the old kinds and camera RAW.
inline constexpr std::string_view kModernStillExtensions[] = {
    "heic", "heif", "hif",  "avif", "webp", "jxl", "tiff", "jfif", "jpe", "pict", "dng", "cr2",
    "cr3",  "crw",  "nef",  "nrw",  "arw",  "srf", "sr2",  "orf",  "rw2", "raf",  "pef", "srw",
    "3fr",  "iiq",  "erf",  "kdc",  "dcr",  "mrw", "mos",  "mef",  "raw", "rwl",  "x3f", "gpr"};
inline constexpr std::string_view kModernVideoExtensions[] = {
    "mp4", "m4v", "mov", "qt", "mkv", "webm", "3gp", "3g2", "ts", "mts", "m2ts", "m2t", "ogv", "vob"};

// The one kind rule of the drop, the preview, the batch run and mirelo-batch: ExtOK first, exactly
// as it always was; a name it does not know is looked up in today's tables. Empty: unsupported.
std::optional<EntryKind> SupportedKind(std::string_view path);

// The kind of an entry already accepted (an unsupported name counts as a video, as ExtOK's 1..26).
inline EntryKind KindOf(std::string_view path) { return SupportedKind(path).value_or(EntryKind::Video); }

// Why a dropped path was or was not taken.
enum class DropVerdict {
  Accepted,
  Missing,         // vanished or cannot be examined (a dangling link included)
  NotRegularFile,  // folder, device, socket, pipe
  Hidden,          // file name starts with "."
  Unsupported,     // neither ExtOK nor today's tables know the extension
  AlreadyListed,   // exactly the same text is listed already (letter case counts)
};

// The test for one path against the entries listed so far. A symbolic link is followed; the name
// tested for hiding is the name as dropped.
DropVerdict CheckDropPath(const std::string& path, const std::vector<std::string>& listed);

// The paths of one drop that are to be appended, in drop order: each accepted path counts as
// listed for the paths after it, so a path dropped twice is taken once.
std::vector<std::string> AcceptDroppedPaths(const std::vector<std::string>& dropped,
                                            const std::vector<std::string>& listed);

}  // namespace mirelo::production
