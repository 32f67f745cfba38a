#pragma once

// The batch run's own texts: its message boxes and the log line of an error that ends a run.

#include <cstdint>
#include <string>
#include <string_view>

#include "production/extensions.h"

namespace mirelo::production {

inline constexpr std::string_view kErrorTitle = "エラーメッセージ";
inline constexpr std::string_view kAppTitle = "ミレロ";

inline constexpr std::string_view kNoListText = "リストがありません";
inline constexpr std::string_view kNoStillFrameText = "静止画用のサムネイル枠が設定されていません";
inline constexpr std::string_view kNoVideoFrameText = "動画用のサムネイル枠が設定されていません";

// Asked with Yes and No, a question icon and the application title.
inline constexpr std::string_view kCancelQuestion = "作業を中断しますか？";

inline constexpr std::string_view kFinishedText = "作業が終了しました。";
inline constexpr std::string_view kFinishedTitle = "作業";

// Caption of the still and video size labels: width, "x", height, each with a blank before it
// (" 640x 480").
std::string SizeCaption(int width, int height);

// The caption of a size label for an entry of this kind. A still's width and height are shown as
// signed 16-bit values, as the still label always showed them; a clip's as they are.
std::string SizeCaptionFor(EntryKind kind, int width, int height);

// The error line of an error that ends the run (the entry's path stands on the line before it).
// Note "を読み込めません" here, unlike the still loader's "が読み込めません".
std::string RunErrorLine(std::int32_t number);

// The single AppendLog message of an error that ends the run: path, CR LF, error line.
std::string RunErrorMessage(std::string_view path, std::int32_t number);

}  // namespace mirelo::production
