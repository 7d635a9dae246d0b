// SPDX-License-Identifier: MIT
#include "wizard/welcome_page.h"

#include <QLabel>
#include <QVBoxLayout>

#include "wizard/artwork.h"
#include "wizard/wizard_frame.h"

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
    // QWizard initialises a page again whenever it is entered going forward
    // (a restart for this one); its one-time work belongs to the first time.
    if (m_initialized) {
        return;
    }
    m_initialized = true;
    engine::ConversionSettings* settings = m_frame->settings();
    engine::WriteStatus("Welcome dialog", settings);
    if (settings->batchMode != 0) {
        m_frame->pressNextLater(this);
    }
}

}  // namespace wizard
