#pragma once

#include <QQuickPaintedItem>

// A white microphone whose capsule fills from the bottom with the input
// level (0 to 100). QML type "MicVolumeView"; drawn in a square of the item's
// width, the stand's foot on its lower edge.
class MicVolumeView : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(int level READ level NOTIFY levelChanged)
public:
    explicit MicVolumeView(QQuickItem *parent = nullptr);

    void paint(QPainter *painter) override;
    int level() const { return m_level; }

public slots:
    void updateUI(double position);

signals:
    void levelChanged();

private:
    int m_level = 0;
};
