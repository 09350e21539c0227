#include "modules/finger/RidgeField.h"

#include <algorithm>
#include <cmath>

namespace Finger {

namespace {

// A float image that wipes itself: it holds the print's pixels.
struct Plane {
    Plane(int width, int height) : w(width), h(height), v(size_t(width) * size_t(height), 0.0f) {}
    ~Plane() { Nb::wipe(v); }
    float& at(int x, int y) { return v[size_t(y) * size_t(w) + size_t(x)]; }
    float at(int x, int y) const { return v[size_t(y) * size_t(w) + size_t(x)]; }
    float bilinear(float x, float y) const
    {
        x = std::clamp(x, 0.0f, float(w - 1));
        y = std::clamp(y, 0.0f, float(h - 1));
        const int x0 = std::min(int(x), w - 2), y0 = std::min(int(y), h - 2);
        const float fx = x - float(x0), fy = y - float(y0);
        return (at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx) * (1 - fy) +
               (at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx) * fy;
    }
    int w, h;
    std::vector<float> v;
};

// Separable smoothing with a normalised kernel, edges repeated, in place.
void smooth(Plane& p, const std::vector<float>& k)
{
    const int r = int(k.size() / 2);
    std::vector<float> line(size_t(std::max(p.w, p.h)));
    for (int y = 0; y < p.h; ++y) {
        for (int x = 0; x < p.w; ++x) {
            float s = 0;
            for (int i = -r; i <= r; ++i)
                s += k[size_t(i + r)] * p.at(std::clamp(x + i, 0, p.w - 1), y);
            line[size_t(x)] = s;
        }
        std::copy(line.begin(), line.begin() + p.w, &p.at(0, y));
    }
    for (int x = 0; x < p.w; ++x) {
        for (int y = 0; y < p.h; ++y) {
            float s = 0;
            for (int i = -r; i <= r; ++i)
                s += k[size_t(i + r)] * p.at(x, std::clamp(y + i, 0, p.h - 1));
            line[size_t(y)] = s;
        }
        for (int y = 0; y < p.h; ++y)
            p.at(x, y) = line[size_t(y)];
    }
    Nb::wipe(line);
}

std::vector<float> gaussian(float sigma)
{
    const int r = int(std::ceil(2.5f * sigma));
    std::vector<float> k(size_t(2 * r + 1));
    float sum = 0;
    for (int i = -r; i <= r; ++i)
        sum += k[size_t(i + r)] = std::exp(-float(i * i) / (2 * sigma * sigma));
    for (float& v : k)
        v /= sum;
    return k;
}

GreyImage at500(const GreyImage& image)
{
    GreyImage out;
    const float scale = float(RidgeField::Resolution) / float(image.dpi);
    out.width = std::max(16, int(std::lround(float(image.width) * scale)));
    out.height = std::max(16, int(std::lround(float(image.height) * scale)));
    out.dpi = RidgeField::Resolution;
    out.pixels.resize(size_t(out.width) * size_t(out.height));
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const float sx = std::clamp((float(x) + 0.5f) / scale - 0.5f, 0.0f, float(image.width - 1));
            const float sy = std::clamp((float(y) + 0.5f) / scale - 0.5f, 0.0f, float(image.height - 1));
            const int x0 = std::min(int(sx), image.width - 2), y0 = std::min(int(sy), image.height - 2);
            const float fx = sx - float(x0), fy = sy - float(y0);
            const float v = (image.at(x0, y0) * (1 - fx) + image.at(x0 + 1, y0) * fx) * (1 - fy) +
                            (image.at(x0, y0 + 1) * (1 - fx) + image.at(x0 + 1, y0 + 1) * fx) * fy;
            out.pixels[size_t(y) * size_t(out.width) + size_t(x)] = uint8_t(v + 0.5f);
        }
    return out;
}

} // namespace

RidgeField::~RidgeField()
{
    for (std::vector<float>* v : {&m_re, &m_im, &m_weight, &m_freq})
        Nb::wipe(v->data(), v->size() * sizeof(float));
}

GreyImage RidgeField::rescaled(const GreyImage& image)
{
    return image.isNull() || image.dpi == Resolution ? image : at500(image);
}

RidgeField::RidgeField(const GreyImage& source)
{
    if (source.isNull())
        return;
    GreyImage scaled;
    if (source.dpi != Resolution)
        scaled = at500(source);
    const GreyImage& image = source.dpi != Resolution ? scaled : source;
    const int w = image.width, h = image.height;
    m_width = w;
    m_height = h;
    m_cols = w / Cell;
    m_rows = h / Cell;
    if (m_cols < 2 || m_rows < 2) {
        m_cols = m_rows = 0;
        return;
    }

    // Ridges bright, lightly smoothed.
    Plane s(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            s.at(x, y) = 255.0f - float(image.at(x, y));
    scaled.wipe();
    smooth(s, gaussian(1.0f));
    // Sums per cell of the grey, its square and the gradient's moments;
    // each cell is then judged by itself and its eight neighbours.
    const size_t n = size_t(m_cols) * size_t(m_rows);
    std::vector<double> sums(n * 6, 0.0);
    for (int y = 1; y < std::min(h - 1, m_rows * Cell); ++y) {
        const float* row = &s.at(0, y);
        const float* up = row - w;
        const float* down = row + w;
        double* line = sums.data() + size_t(y / Cell) * size_t(m_cols) * 6;
        for (int x = 1; x < std::min(w - 1, m_cols * Cell); ++x) {
            const float v = row[x];
            const float gx = 0.5f * (row[x + 1] - row[x - 1]);
            const float gy = 0.5f * (down[x] - up[x]);
            double* c = line + size_t(x / Cell) * 6;
            c[0] += v;
            c[1] += double(v) * v;
            c[2] += double(gx) * gx;
            c[3] += double(gy) * gy;
            c[4] += double(gx) * gy;
            c[5] += 1;
        }
    }
    std::vector<float> spread(n), vre(n), vim(n);
    for (int j = 0; j < m_rows; ++j)
        for (int i = 0; i < m_cols; ++i) {
            double t[6] = {};
            for (int b = std::max(0, j - 1); b <= std::min(m_rows - 1, j + 1); ++b)
                for (int a = std::max(0, i - 1); a <= std::min(m_cols - 1, i + 1); ++a)
                    for (int q = 0; q < 6; ++q)
                        t[q] += sums[(size_t(b) * size_t(m_cols) + size_t(a)) * 6 + size_t(q)];
            const double area = std::max(1.0, t[5]);
            const double mean = t[0] / area;
            const size_t k = size_t(j) * size_t(m_cols) + size_t(i);
            spread[k] = float(std::sqrt(std::max(0.0, t[1] / area - mean * mean)));
            // The gradient's doubled angle turned half round: the ridge's.
            const double norm = t[2] + t[3] + 1e-6;
            vre[k] = float(-(t[2] - t[3]) / norm);
            vim[k] = float(-2.0 * t[4] / norm);
        }

    // The print is where the grey varies like ridges do, relative to this
    // image's own contrast.
    std::vector<float> sorted(spread);
    std::sort(sorted.begin(), sorted.end());
    const float threshold = std::max(12.0f, 0.35f * sorted[size_t(float(n - 1) * 0.9f)]);
    std::vector<uint8_t> on(n), tmp(n);
    for (size_t k = 0; k < n; ++k)
        on[k] = spread[k] > threshold;
    // Close small gaps, then drop isolated specks.
    auto morph = [&](bool grow) {
        for (int j = 0; j < m_rows; ++j)
            for (int i = 0; i < m_cols; ++i) {
                int count = 0, total = 0;
                for (int dj = -1; dj <= 1; ++dj)
                    for (int di = -1; di <= 1; ++di) {
                        const int a = i + di, b = j + dj;
                        if (a < 0 || b < 0 || a >= m_cols || b >= m_rows)
                            continue;
                        ++total;
                        count += on[size_t(b) * size_t(m_cols) + size_t(a)];
                    }
                tmp[size_t(j) * size_t(m_cols) + size_t(i)] = grow ? count > 0 : count == total;
            }
        on.swap(tmp);
    };
    morph(true);
    morph(false);
    morph(false);
    morph(true);

    Plane re(m_cols, m_rows), im(m_cols, m_rows), weight(m_cols, m_rows);
    for (size_t k = 0; k < n; ++k) {
        re.v[k] = on[k] ? vre[k] : 0.0f;
        im.v[k] = on[k] ? vim[k] : 0.0f;
        weight.v[k] = on[k];
    }
    const std::vector<float> g = gaussian(1.6f);
    smooth(re, g);
    smooth(im, g);
    smooth(weight, g);
    m_re = re.v;
    m_im = im.v;
    m_weight = weight.v;

    // Ridge frequency: across the ridges, the grey profile averaged along
    // them; the spacing of its mean crossings is the ridge period.
    m_freq.assign(n, 0.0f);
    constexpr int Length = 32;
    float profile[Length];
    for (int j = 0; j < m_rows; ++j)
        for (int i = 0; i < m_cols; ++i) {
            const size_t k = size_t(j) * size_t(m_cols) + size_t(i);
            if (!on[k] || m_weight[k] < 0.6f)
                continue;
            const float theta = 0.5f * std::atan2(m_im[k], m_re[k]);
            const float tx = std::cos(theta), ty = std::sin(theta);
            const float nx = -ty, ny = tx;
            const float cx = (float(i) + 0.5f) * Cell, cy = (float(j) + 0.5f) * Cell;
            float mean = 0;
            for (int a = 0; a < Length; ++a) {
                float sum = 0;
                const float u = float(a) - (Length - 1) / 2.0f;
                for (int b = -4; b <= 4; b += 2)
                    sum += s.bilinear(cx + u * nx + float(b) * tx, cy + u * ny + float(b) * ty);
                profile[a] = sum;
                mean += sum;
            }
            mean /= Length;
            float first = -1, last = -1;
            int crossings = 0;
            for (int a = 1; a < Length; ++a) {
                const float p = profile[a - 1] - mean, q = profile[a] - mean;
                if ((p < 0) != (q < 0)) {
                    const float at = float(a - 1) + p / (p - q);
                    if (first < 0)
                        first = at;
                    last = at;
                    ++crossings;
                }
            }
            if (crossings < 3)
                continue;
            const float period = 2.0f * (last - first) / float(crossings - 1);
            if (period >= 5.0f && period <= 16.0f)
                m_freq[k] = 1.0f / period;
        }
}

bool RidgeField::sample(float x, float y, float& re, float& im, float& weight) const
{
    re = im = weight = 0;
    if (isEmpty() || !(x >= 0 && y >= 0 && x < float(m_width) && y < float(m_height)))
        return false;
    const float gx = std::clamp(x / Cell - 0.5f, 0.0f, float(m_cols - 1));
    const float gy = std::clamp(y / Cell - 0.5f, 0.0f, float(m_rows - 1));
    const int x0 = std::min(int(gx), m_cols - 2), y0 = std::min(int(gy), m_rows - 2);
    const float fx = gx - float(x0), fy = gy - float(y0);
    const size_t k = size_t(y0) * size_t(m_cols) + size_t(x0);
    const size_t c = size_t(m_cols);
    const float w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
    re = m_re[k] * w00 + m_re[k + 1] * w10 + m_re[k + c] * w01 + m_re[k + c + 1] * w11;
    im = m_im[k] * w00 + m_im[k + 1] * w10 + m_im[k + c] * w01 + m_im[k + c + 1] * w11;
    weight = m_weight[k] * w00 + m_weight[k + 1] * w10 + m_weight[k + c] * w01 + m_weight[k + c + 1] * w11;
    return true;
}

float RidgeField::frequency(float x, float y) const
{
    if (isEmpty() || !(x >= 0 && y >= 0 && x < float(m_width) && y < float(m_height)))
        return 0.0f;
    const int i = std::min(int(x) / Cell, m_cols - 1), j = std::min(int(y) / Cell, m_rows - 1);
    return m_freq[size_t(j) * size_t(m_cols) + size_t(i)];
}

float RidgeField::period() const
{
    std::vector<float> known;
    for (float f : m_freq)
        if (f > 0)
            known.push_back(f);
    if (known.empty())
        return 0.0f;
    std::nth_element(known.begin(), known.begin() + long(known.size() / 2), known.end());
    const float median = known[known.size() / 2];
    Nb::wipe(known.data(), known.size() * sizeof(float));
    return 1.0f / median;
}

bool RidgeField::centre(float& x, float& y) const
{
    double sx = 0, sy = 0, sw = 0;
    for (int j = 0; j < m_rows; ++j)
        for (int i = 0; i < m_cols; ++i) {
            const double w = m_weight[size_t(j) * size_t(m_cols) + size_t(i)];
            sx += w * (i + 0.5) * Cell;
            sy += w * (j + 0.5) * Cell;
            sw += w;
        }
    if (sw < 1.0)
        return false;
    x = float(sx / sw);
    y = float(sy / sw);
    return true;
}

float RidgeField::coverage() const
{
    if (isEmpty())
        return 0.0f;
    double sum = 0;
    for (float w : m_weight)
        sum += w;
    return float(sum / double(m_weight.size()));
}

} // namespace Finger
