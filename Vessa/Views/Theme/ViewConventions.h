#pragma once

// How every window of the program is built. New widgets follow these rules;
// the track table (TrackTable/) is the reference for each of them.
//
// Observing the app
//   Widgets observe the app's QObjects through their change signals and never
//   poll. Several signals in a row cause one refresh: a widget schedules its
//   rebuild through a CoalescedRefresh (a queued single shot) instead of
//   rebuilding per signal. Views own no engine object and no list: they keep
//   only selection, focus, filter and editing state.
//
// Re-entrancy
//   A table model is never reset synchronously inside the table's own drop,
//   key or menu handler: the callbacks a view calls from a gesture may rebuild
//   the owner's rows, and TrackTable applies rows handed to it during such a
//   callback only after the handler has returned.
//
// User texts
//   Texts are the product's fixed English texts, used exactly. Where a text
//   names another platform's parts it names the Linux ones: "Show in File
//   Manager" (and "Show N in File Manager"), "cloud folder" in sentences, and
//   "Ctrl+" in shortcuts. Backspace and Delete both delete; holding Ctrl while
//   dragging forces a copy.
//   Every fixed text goes through tr() (QCoreApplication::translate, or a
//   Q_DECLARE_TR_FUNCTIONS context, outside QObjects), whole sentences with
//   %1 for what is filled in, never pieced together; counted texts carry
//   their count for plural forms (see PluralForm.h). scripts/check-ui-texts.sh
//   refuses a plain literal handed to a visible text.
//
// Icons and theme
//   Symbols are named by their identifiers ("speaker.wave.2.fill") and turned
//   into icons only through Icons. Colours come from the widget's palette (the
//   accent is the palette's highlight); VessaTheme holds the shared gradients
//   and the light/dark decision.
//
// Tests
//   Tests run offscreen (QT_QPA_PLATFORM=offscreen), drive widgets with QTest
//   input on the viewport and QAction::trigger(), and wait with QTRY_*. The
//   decisions behind drops and menus are pure functions, tested without a
//   drag in progress.
