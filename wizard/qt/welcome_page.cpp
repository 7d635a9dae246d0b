// SPDX-License-Identifier: MIT
#include "wizard/qt/welcome_page.h"

#include <QLabel>
#include <QVBoxLayout>

#include "wizard/qt/artwork_painter.h"
#include "wizard/qt/wizard_frame.h"

namespace wizard {

WelcomePage::WelcomePage(WizardFrame* frame) : QWizardPage(frame), m_frame(frame) {
    setObjectName(QStringLiteral("welcomePage"));
    // Only the two outer pages carry the watermark; the inner ones have the header.
    setPixmap(QWizard::WatermarkPixmap, WatermarkArt(kWatermarkColumn));
    auto* title = new QLabel(tr("Welcome to Morvik Wizard"), this);
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setFont(frame->titleFont());
    title->setWordWrap(true);
    auto* body = new QLabel(tr("This program helps you convert your csv files to xls format.\n\n"
                               "It is easy. Just follow the program instructions."),
                            this);
    body->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addSpacing(12);
    layout->addWidget(body);
    layout->addStretch(1);
}

void WelcomePage::initializePage() {
    if (m_frame->welcomeModel().Enter()) {
        m_frame->pressNextLater(this);
    }
}

}  // namespace wizard
