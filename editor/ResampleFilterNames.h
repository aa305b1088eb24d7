#pragma once
// The resampling filters as the user picks them, in list order; the editor's
// resize and the batch run share the list.
#include <QStringList>

namespace tessaron {

inline QStringList resampleFilterNames() {
    return {"Без фильтра", "Ускоренный", "Смягчение", "Размытие",
            "Резкость", "Быстрый", "Нейтральный", "Оптимальный"};
}

// Index of "Резкость", the filter both lists start with.
inline constexpr int kStartFilter = 4;

}  // namespace tessaron
