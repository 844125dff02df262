#include "forms/client_area.h"

#include <QMenuBar>
#include <QVBoxLayout>

namespace forms {

QWidget* makeClientArea(QWidget* window, QMenuBar* bar) {
    auto* column = new QVBoxLayout(window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // A layout's menu bar gets its height only while it is shown.
    column->setMenuBar(bar);
    auto* client = new QWidget(window);
    // The window's own mouse handlers still see the pointer over the client.
    client->setMouseTracking(true);
    column->addWidget(client);
    return client;
}

}  // namespace forms
