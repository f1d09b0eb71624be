// The window background while a window's edge is dragged: the main thread's
// time for each new size (the background's own work and its painting), at
// 1920x1080 and 3840x2160, against one frame (16 ms). Runs on the offscreen
// platform unless another is chosen.
#include "Vessa/App/System/PaintThreads.h"
#include "Vessa/Views/Theme/AdaptiveWindowBackground.h"
#include "VessaCore/FreedMemory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vessa;

int main(int argc, char** argv)
{
    // As the program sets it: every image of a new size is memory of its own.
    FreedMemory::setAllocatorPolicy();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As the program keeps them: the threads Qt's painting splits its work over.
    PaintThreads::keepStarted();
    constexpr int sizesPerRun = 30;
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)}) {
        AdaptiveWindowBackground background;
        QImage target(size, QImage::Format_RGB32);
        target.fill(Qt::black); // its pages are there, as a window's are
        std::vector<double> times;
        for (int i = 0; i < sizesPerRun; ++i) {
            // Each step one pixel smaller, as a dragged edge gives them.
            background.resize(size - QSize(i, i));
            QElapsedTimer timer;
            timer.start();
            QPainter painter(&target);
            background.render(&painter);
            painter.end();
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        std::printf("new size near %4dx%-4d  main thread median %5.1f ms, slowest %5.1f ms   (target < 16 ms)\n",
                    size.width(), size.height(), times[times.size() / 2], times.back());
    }
    return 0;
}
