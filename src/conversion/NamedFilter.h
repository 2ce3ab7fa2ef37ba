#pragma once
// Filters made by name, their inputs set by key, their result read as "outputImage".
// Reading the output only describes the result (FilterImage.h); no pixel is computed.

#include "FilterImage.h"

#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <variant>

struct FilterVector {
    double x = 0.0, y = 0.0, z = 0.0, w = 0.0;
    static FilterVector vectorWithXY(double x, double y) { return {x, y, 0.0, 0.0}; }
    static FilterVector vectorWithXYZW(double x, double y, double z, double w) { return {x, y, z, w}; }
};

struct AffineTransform {
    double m11 = 1.0, m12 = 0.0, m21 = 0.0, m22 = 1.0, dx = 0.0, dy = 0.0;
    bool isIdentity() const { return m11 == 1.0 && m12 == 0.0 && m21 == 0.0 && m22 == 1.0 && dx == 0.0 && dy == 0.0; }
};

using FilterValue = std::variant<std::monostate, double, FilterVector, AffineTransform, FilterImagePtr>;

class NamedFilter {
public:
    // The filter of that name with its inputs at their defaults; null (with a log line)
    // for a name that is not one of ours.
    static std::unique_ptr<NamedFilter> filterWithName(const QString &name);
    static QStringList filterNames();

    const QString &name() const { return name_; }
    QStringList inputKeys() const;

    // A key the filter does not have, or a value of the wrong kind, is logged and ignored.
    void setValue(const FilterValue &value, const QString &key);
    void setValue(double value, const QString &key) { setValue(FilterValue(value), key); }
    void setValue(const FilterImagePtr &image, const QString &key) { setValue(FilterValue(image), key); }
    // An input by key, or "outputImage": the description of the result (null without an
    // input image).
    FilterValue valueForKey(const QString &key) const;
    FilterImagePtr outputImage() const;

private:
    explicit NamedFilter(QString name);
    QString name_;
    std::map<QString, FilterValue> inputs_;
};
