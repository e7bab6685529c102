// Localising a form of 30 tagged controls from the shipped language file; every lookup reads
// the file again, so this is the cost a dialog pays when it opens.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <benchmark/benchmark.h>

#include "core/AppState.h"
#include "ui/ApplyLanguage.h"

namespace {

void BM_ApplyLanguage_30Controls(benchmark::State& state)
{
    LangFile = QStringLiteral(TAVOREN_SOURCE_DIR_DEFAULT "/resources/Language/mvlchs.ini");
    QWidget form;
    form.setObjectName(QStringLiteral("frmPWD"));
    auto* layout = new QVBoxLayout(&form);
    for (int i = 0; i < 10; ++i) {
        auto* label = new QLabel(QStringLiteral("Label"), &form);
        label->setProperty("Tag", QString::number(10004 + i % 9));
        layout->addWidget(label);
        auto* box = new QLineEdit(&form); // text boxes without a tag keep their text
        layout->addWidget(box);
    }
    for (int i = 0; i < 10; ++i) {
        auto* button = new QPushButton(QStringLiteral("Button"), &form);
        button->setProperty("Tag", QString::number(10001 + i % 2));
        layout->addWidget(button);
    }
    for (QWidget* w : form.findChildren<QLineEdit*>()) {
        w->setProperty("Tag", QStringLiteral("10003"));
    }
    for (auto _ : state) {
        ApplyLanguage(&form);
    }
    state.counters["controls"] = static_cast<double>(form.findChildren<QWidget*>().size());
}
BENCHMARK(BM_ApplyLanguage_30Controls)->Unit(benchmark::kMillisecond);

} // namespace
