#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace tessaron {
namespace {

class DesktopShell final : public TShell {
public:
    void open(const QString& target) override {
        const QUrl url = target.startsWith('/') ? QUrl::fromLocalFile(target) : QUrl(target);
        QDesktopServices::openUrl(url);
    }
};

TShell* installed = nullptr;

}  // namespace

TShell& shell() {
    static DesktopShell desktop;
    return installed ? *installed : desktop;
}

void setShell(TShell* replacement) { installed = replacement; }

}  // namespace tessaron
