#pragma once
// Texts of the main window that more than one place shows.
namespace tessaron::captions {

inline constexpr char ProgramName[] = "Tessaron";

inline constexpr char BrowseTab[] = "Открыть";
inline constexpr char EditTab[] = "Редактировать";
// The trailing blank belongs to the caption.
inline constexpr char BatchTab[] = "Пакетная обработка ";

// What the status line suggests on each tab.
inline constexpr const char* TabGuidance[] = {
    "Вы можете выделить одно фото для открытия или несколько - для добавления в пакет",
    "Масштаб изображения регулируется колесом прокрутки",
    "Добавляйте отдельные файлы и целые папки в список обработки",
};

}  // namespace tessaron::captions
