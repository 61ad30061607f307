# Run at build time (cmake -P): turns the main window's layout table
# (app/main_layout.txt) into the C++ rows the Qt window places and the
# Windows dialog template. A CMake script rather than a program: the Windows
# build is a cross build, and a script needs no host compiler there.
#
#   cmake -DTABLE=<main_layout.txt> -DCXX_OUT=<header> -DRC_OUT=<rc file> -P GenerateMainLayout.cmake
#
# The table's format is strict: a line that is not a comment, a blank, a
# setting or a row stops the build with its line number.
cmake_minimum_required(VERSION 3.25)
foreach(var TABLE CXX_OUT RC_OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "GenerateMainLayout.cmake needs -D${var}=...")
  endif()
endforeach()

# What each kind of control is in the Windows template: its class and the
# styles beyond WS_CHILD | WS_VISIBLE. A kind is a tab stop when its styles say so.
set(KINDS PushButton GroupBox Label Display Edit PortList Slider)
set(CLASS_PushButton "Button")
set(STYLE_PushButton "BS_PUSHBUTTON | WS_TABSTOP")
set(CLASS_GroupBox "Button")
set(STYLE_GroupBox "BS_GROUPBOX")
set(CLASS_Label "Static")
set(STYLE_Label "SS_LEFT | WS_GROUP")
set(CLASS_Display "Static")
set(STYLE_Display "SS_CENTER | WS_BORDER | WS_GROUP")
set(CLASS_Edit "Edit")
set(STYLE_Edit "ES_CENTER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP")
set(CLASS_PortList "ComboBoxEx32")
set(STYLE_PortList "CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP")
set(CLASS_Slider "msctls_trackbar32")
set(STYLE_Slider "TBS_HORZ | TBS_BOTTOM | WS_TABSTOP")

# The dialog's own styles and the font's weight, italic flag and character set.
set(DIALOG_STYLE "WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT")
set(DIALOG_EXSTYLE "WS_EX_APPWINDOW")
set(FONT_REST "0, 0, 0x1")

set(_num "([0-9]+)")
set(_gap "[ \t]+")
set(_text "\"([^\"\\\\]*)\"")
set(ROW_RE "^(IDC_[A-Z0-9_]+|-)${_gap}([A-Za-z]+)${_gap}${_num}${_gap}${_num}${_gap}${_num}${_gap}${_num}${_gap}${_text}[ \t]*$")

# Lines are walked by position, never through a CMake list, so a caption may
# hold any character a list would treat specially (; [ ]).
file(READ "${TABLE}" content)
string(APPEND content "\n")
set(line_number 0)
set(rows 0)
set(cxx_rows "")
set(rc_rows "")
while(NOT content STREQUAL "")
  string(FIND "${content}" "\n" end)
  string(SUBSTRING "${content}" 0 ${end} line)
  math(EXPR next "${end} + 1")
  string(SUBSTRING "${content}" ${next} -1 content)
  math(EXPR line_number "${line_number} + 1")
  string(REGEX REPLACE "\r$" "" line "${line}")

  if(line MATCHES "^(size|font|caption)[ \t]")
    if(DEFINED setting_${CMAKE_MATCH_1})
      message(FATAL_ERROR "${TABLE}:${line_number}: a second ${CMAKE_MATCH_1} line")
    endif()
  endif()
  if(line MATCHES "^[ \t]*(#.*)?$")
    continue()
  elseif(line MATCHES "^size${_gap}${_num}${_gap}${_num}[ \t]*$")
    set(setting_size ${line_number})
    set(width ${CMAKE_MATCH_1})
    set(height ${CMAKE_MATCH_2})
  elseif(line MATCHES "^font${_gap}${_num}${_gap}${_text}[ \t]*$")
    set(setting_font ${line_number})
    set(font_points ${CMAKE_MATCH_1})
    set(font_family "${CMAKE_MATCH_2}")
  elseif(line MATCHES "^caption${_gap}${_text}[ \t]*$")
    set(setting_caption ${line_number})
    set(caption "${CMAKE_MATCH_1}")
  elseif(line MATCHES "${ROW_RE}")
    set(id ${CMAKE_MATCH_1})
    set(kind ${CMAKE_MATCH_2})
    set(rect "${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}, ${CMAKE_MATCH_5}, ${CMAKE_MATCH_6}")
    set(text "${CMAKE_MATCH_7}")
    if(NOT kind IN_LIST KINDS)
      list(JOIN KINDS ", " known)
      message(FATAL_ERROR "${TABLE}:${line_number}: unknown kind '${kind}' (one of ${known})")
    endif()
    if(id STREQUAL "-")
      set(cxx_id "kNoId")
      set(rc_id "-1")
    else()
      set(cxx_id "${id}")
      set(rc_id "${id}")
    endif()
    if(STYLE_${kind} MATCHES "WS_TABSTOP")
      set(tab_stop "true")
    else()
      set(tab_stop "false")
    endif()
    string(APPEND cxx_rows "    {${cxx_id}, \"${CLASS_${kind}}\", \"${text}\", ${rect}, "
                           "ControlKind::${kind}, ${tab_stop}},\n")
    string(APPEND rc_rows "  CONTROL \"${text}\", ${rc_id}, \"${CLASS_${kind}}\", "
                          "${STYLE_${kind}}, ${rect}\n")
    math(EXPR rows "${rows} + 1")
  else()
    message(FATAL_ERROR "${TABLE}:${line_number}: not a setting or a row: ${line}")
  endif()
endwhile()

foreach(setting size font caption)
  if(NOT DEFINED setting_${setting})
    message(FATAL_ERROR "${TABLE}: no ${setting} line")
  endif()
endforeach()
if(rows EQUAL 0)
  message(FATAL_ERROR "${TABLE}: no control rows")
endif()

set(banner "Generated at build time from app/main_layout.txt by cmake/GenerateMainLayout.cmake.")

file(WRITE "${CXX_OUT}" "// ${banner}
#pragma once

#include <array>

#include \"app/main_layout.h\"
#include \"controller/control_ids.h\"

namespace quorvane {

inline constexpr DialogFrame kMainDialog{\"${caption}\", ${width}, ${height}, \"${font_family}\", ${font_points}};

inline constexpr std::array<TemplateRow, ${rows}> kMainTemplate{{
${cxx_rows}}};

}  // namespace quorvane
")

file(WRITE "${RC_OUT}" "// ${banner}
// Template order is creation order and the tab order of the WS_TABSTOP rows.
IDD_MAIN DIALOGEX 0, 0, ${width}, ${height}
STYLE ${DIALOG_STYLE}
EXSTYLE ${DIALOG_EXSTYLE}
CAPTION \"${caption}\"
FONT ${font_points}, \"${font_family}\", ${FONT_REST}
BEGIN
${rc_rows}END
")
