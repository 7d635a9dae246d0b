// SPDX-License-Identifier: MIT
// The first page: a greeting beside the watermark.
#pragma once

#include <QWizardPage>

namespace wizard {

class WizardFrame;

class WelcomePage : public QWizardPage {
    Q_OBJECT

public:
    explicit WelcomePage(WizardFrame* frame);
    void initializePage() override;

private:
    WizardFrame* m_frame;
};

}  // namespace wizard
