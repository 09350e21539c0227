// The ridge texture around the core: read in the impression's frame, so
// that a turned press gives the texture of a straight one, and only where
// the print lies.

#include <cmath>

#include <QtTest>

#include "modules/finger/RidgeTexture.h"
#include "modules/finger/SyntheticFinger.h"

using namespace Finger;

namespace {

struct Texture {
    float value[TextureCount];
    bool present[TextureCount];
};

Texture textureOf(const GreyImage& image, const Placement& frame)
{
    Texture t;
    ridgeTexture(image, RidgeField(image), frame, t.value, t.present);
    return t;
}

// Mean difference of the logarithms over the sectors both show.
float apart(const Texture& a, const Texture& b)
{
    double sum = 0;
    int n = 0;
    for (int i = 0; i < TextureCount; ++i)
        if (a.present[i] && b.present[i]) {
            sum += std::fabs(std::log(a.value[i]) - std::log(b.value[i]));
            ++n;
        }
    return n ? float(sum / n) : 1e9f;
}

} // namespace

class TestRidgeTexture : public QObject {
    Q_OBJECT
private slots:
    void turnsWithTheFrame();
    void onlyOnThePrint();
};

// The frame follows the press exactly here: the same finger pressed turned
// and shifted reads about as it does straight, and unlike it when the
// filters are not turned with the frame.
void TestRidgeTexture::turnsWithTheFrame()
{
    const SyntheticFinger finger(100);
    const float wx = SyntheticFinger::Width / 2.0f, wy = SyntheticFinger::Height / 2.0f, up = -20.0f;
    Press straight;
    straight.stretch = 0;
    Press turned = straight;
    turned.angle = 0.2f;
    turned.dx = 10.0f;
    turned.dy = -6.0f;
    const float c = std::cos(turned.angle), s = std::sin(turned.angle);
    const Texture a = textureOf(finger.impression(straight), Placement{0.0f, wx, wy + up});
    const GreyImage image = finger.impression(turned);
    const Texture b = textureOf(image, Placement{turned.angle, wx + turned.dx - s * up, wy + turned.dy + c * up});
    const Texture unturned = textureOf(image, Placement{0.0f, wx + turned.dx - s * up, wy + turned.dy + c * up});
    QVERIFY2(apart(a, b) < 0.5f * apart(a, unturned),
             qPrintable(QString("%1 %2").arg(apart(a, b)).arg(apart(a, unturned))));
}

// A press with the left half of the reader missed: the outer sectors to the
// left of the origin are not present, those to the right are.
void TestRidgeTexture::onlyOnThePrint()
{
    Press press;
    press.cut = 0.45f;
    press.side = 0;
    const Texture t = textureOf(SyntheticFinger(100).impression(press),
                                Placement{0.0f, SyntheticFinger::Width / 2.0f, SyntheticFinger::Height / 2.0f});
    const int outer = (TextureRings - 1) * TextureAngles;
    for (int o = 0; o < Orientations; ++o) {
        QVERIFY(!t.present[(outer + TextureAngles / 2) * Orientations + o]);
        QVERIFY(!t.present[(outer + TextureAngles / 2 - 1) * Orientations + o]);
        QVERIFY(t.present[outer * Orientations + o] && t.value[outer * Orientations + o] > 0);
        QVERIFY(t.present[(outer + TextureAngles - 1) * Orientations + o]);
    }
}

QTEST_APPLESS_MAIN(TestRidgeTexture)
#include "tst_ridgetexture.moc"
