#pragma once

class QWidget;

// Localises a form from the language file: its caption (key "10000"), the "Info" font, and every
// control by kind, the key travelling as the dynamic property "Tag":
//   QLabel with a Tag, QGroupBox, QCheckBox, QRadioButton   caption  <- Tag
//   QPushButton                                              caption  <- Tag+"a", tooltip <- Tag+"c"
//   QAction in a menu (its Tag is its design caption)        caption  <- Tag; separators skipped
//   QToolBar action                                          caption  <- Tag+"a" (two characters get
//                                                            a space each side), tooltip <- Tag+"b",
//                                                            its drop-down entries <- their Tag
//   QSplitter, or a widget whose "Kind" is "PictureBox"      tooltip  <- Tag
//   QLineEdit, QPlainTextEdit with a Tag                     text     <- Tag
// Plain labels, combo boxes, lists, trees and status bars keep their texts.
void ApplyLanguage(QWidget* form);
