# Project-wide flags live on one INTERFACE target that every target links.
add_library(mirelo_flags INTERFACE)
target_compile_options(mirelo_flags INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
target_compile_definitions(mirelo_flags INTERFACE _GLIBCXX_ASSERTIONS)
if(MIRELO_WERROR)
  target_compile_options(mirelo_flags INTERFACE -Werror)
endif()
target_include_directories(mirelo_flags INTERFACE ${PROJECT_SOURCE_DIR}/src)

# Strict Qt string handling: every Japanese text is an explicit u"..." literal.
add_library(mirelo_qt_flags INTERFACE)
target_compile_definitions(mirelo_qt_flags INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
                                                     QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
