// The code generator's checks of match-statement patterns: captures, alternatives, keys and attributes.
#include "norvex/pyast/compile_check_impl.hpp"

#include "norvex/pyast/constant_repr.hpp"

#include <algorithm>
#include <cstdio>

namespace norvex::pyast::compile_detail {

namespace {

struct PatternContext {
    std::vector<std::string_view> stores;
    bool allow_irrefutable = false;
};

std::string quoted(std::string_view name) { return "'" + std::string(name) + "'"; }

void store_name(Identifier name, Location where, PatternContext& pc) {
    if (name.data() == nullptr) return;
    if (std::find(pc.stores.begin(), pc.stores.end(), name) != pc.stores.end()) {
        fail("multiple assignments to name " + quoted(name) + " in pattern", where);
    }
    pc.stores.push_back(name);
}

std::string number_key(double value) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    return std::string("n:") + buf;
}

// A mapping key as Python's set would tell equal keys apart (1, 1.0 and
// True are one key), with its repr; none for a key that is no literal.
// Negative numbers and complex sums count as literals: they are folded to
// constants before this check runs.
struct KeyInfo {
    std::string identity;
    std::string repr;
};

std::optional<KeyInfo> literal_key(const Node* key) {
    if (const auto* c = as<Constant>(key)) {
        const ConstantValue& v = c->value;
        const std::string repr = constant_repr(v);
        switch (v.kind) {
            case ConstantValue::Kind::None: return KeyInfo{"None", repr};
            case ConstantValue::Kind::Ellipsis: return KeyInfo{"Ellipsis", repr};
            case ConstantValue::Kind::True: return KeyInfo{number_key(1), repr};
            case ConstantValue::Kind::False: return KeyInfo{number_key(0), repr};
            case ConstantValue::Kind::Int: return KeyInfo{number_key(static_cast<double>(v.int_value)), repr};
            case ConstantValue::Kind::BigInt: return KeyInfo{"i:" + std::string(v.text), repr};
            case ConstantValue::Kind::Float: return KeyInfo{number_key(v.float_value), repr};
            case ConstantValue::Kind::Complex:
                if (v.float_value == 0.0) return KeyInfo{number_key(0), repr};
                return KeyInfo{"c:0," + number_key(v.float_value), repr};
            case ConstantValue::Kind::Str: return KeyInfo{"s:" + std::string(v.text), repr};
            case ConstantValue::Kind::Bytes: return KeyInfo{"b:" + std::string(v.text), repr};
        }
    }
    if (const auto* u = as<UnaryOp>(key); u != nullptr && u->op == Op::USub) {
        const auto* c = as<Constant>(u->operand);
        if (c == nullptr) return std::nullopt;
        const ConstantValue& v = c->value;
        const std::string repr = constant_repr(v);
        switch (v.kind) {
            case ConstantValue::Kind::Int:
                return KeyInfo{number_key(-static_cast<double>(v.int_value)), v.int_value == 0 ? repr : "-" + repr};
            case ConstantValue::Kind::BigInt: return KeyInfo{"i:-" + std::string(v.text), "-" + repr};
            case ConstantValue::Kind::Float: return KeyInfo{number_key(-v.float_value), "-" + repr};
            case ConstantValue::Kind::Complex: {
                if (v.float_value == 0.0) return KeyInfo{number_key(0), "(-0-0j)"};
                return KeyInfo{"c:-0," + number_key(-v.float_value), "(-0-" + repr + ")"};
            }
            default: return std::nullopt;
        }
    }
    if (const auto* b = as<BinOp>(key); b != nullptr && (b->op == Op::Add || b->op == Op::Sub)) {
        std::optional<KeyInfo> real = literal_key(b->left);
        const auto* imag = as<Constant>(b->right);
        if (!real || imag == nullptr || imag->value.kind != ConstantValue::Kind::Complex) return std::nullopt;
        const double im = b->op == Op::Sub ? -imag->value.float_value : imag->value.float_value;
        std::string im_repr = constant_repr(imag->value);
        return KeyInfo{"c:" + real->identity + "," + number_key(im),
                       "(" + real->repr + (b->op == Op::Sub ? "-" : "+") + im_repr + ")"};
    }
    return std::nullopt;
}

void check_pattern(const Node* p, PatternContext& pc);

// Sub-patterns may always be irrefutable: the enclosing pattern can still fail.
void check_subpattern(const Node* p, PatternContext& pc) {
    const bool saved = pc.allow_irrefutable;
    pc.allow_irrefutable = true;
    check_pattern(p, pc);
    pc.allow_irrefutable = saved;
}

void check_pattern(const Node* p, PatternContext& pc) {
    switch (p->kind) {
        case NodeKind::MatchSequence: {
            bool star = false;
            for (const Node* sub : as<MatchSequence>(p)->patterns) {
                if (!is<MatchStar>(sub)) continue;
                if (star) fail("multiple starred names in sequence pattern", location_of(p));
                star = true;
            }
            for (const Node* sub : as<MatchSequence>(p)->patterns) check_subpattern(sub, pc);
            break;
        }
        case NodeKind::MatchMapping: {
            const auto* m = as<MatchMapping>(p);
            std::vector<std::string> seen;
            for (const Node* key : m->keys) {
                if (is<Attribute>(key)) continue;
                std::optional<KeyInfo> info = literal_key(key);
                if (!info) fail("mapping pattern keys may only match literals and attribute lookups", location_of(p));
                if (std::find(seen.begin(), seen.end(), info->identity) != seen.end()) {
                    fail("mapping pattern checks duplicate key (" + info->repr + ")", location_of(p));
                }
                seen.push_back(info->identity);
            }
            for (const Node* sub : m->patterns) check_subpattern(sub, pc);
            store_name(m->rest, location_of(p), pc);
            break;
        }
        case NodeKind::MatchClass: {
            const auto* m = as<MatchClass>(p);
            for (std::size_t i = 0; i < m->kwd_attrs.size(); ++i) {
                for (std::size_t j = i + 1; j < m->kwd_attrs.size() && j < m->kwd_patterns.size(); ++j) {
                    if (m->kwd_attrs[i] == m->kwd_attrs[j]) {
                        fail("attribute name repeated in class pattern: " + std::string(m->kwd_attrs[i]),
                             location_of(m->kwd_patterns[j]));
                    }
                }
            }
            for (const Node* sub : m->patterns) check_subpattern(sub, pc);
            for (const Node* sub : m->kwd_patterns) check_subpattern(sub, pc);
            break;
        }
        case NodeKind::MatchStar: store_name(as<MatchStar>(p)->name, location_of(p), pc); break;
        case NodeKind::MatchAs: {
            const auto* m = as<MatchAs>(p);
            if (m->pattern == nullptr) {
                if (!pc.allow_irrefutable) {
                    if (m->name.data() != nullptr) {
                        fail("name capture " + quoted(m->name) + " makes remaining patterns unreachable", location_of(p));
                    }
                    fail("wildcard makes remaining patterns unreachable", location_of(p));
                }
            } else {
                check_pattern(m->pattern, pc);
            }
            store_name(m->name, location_of(p), pc);
            break;
        }
        case NodeKind::MatchOr: {
            const auto* m = as<MatchOr>(p);
            const PatternContext outer = pc;
            std::vector<std::string_view> control;
            for (std::size_t i = 0; i < m->patterns.size(); ++i) {
                pc.stores.clear();
                pc.allow_irrefutable = i + 1 == m->patterns.size() && outer.allow_irrefutable;
                check_pattern(m->patterns[i], pc);
                if (i == 0) {
                    control = pc.stores;
                    continue;
                }
                bool same = pc.stores.size() == control.size();
                for (std::string_view name : control) {
                    same = same && std::find(pc.stores.begin(), pc.stores.end(), name) != pc.stores.end();
                }
                if (!same) fail("alternative patterns bind different names", location_of(p));
            }
            pc = outer;
            for (std::string_view name : control) store_name(name, location_of(p), pc);
            break;
        }
        default: break;  // MatchValue, MatchSingleton
    }
}

}  // namespace

void check_case_pattern(const Node* pattern, bool allow_irrefutable) {
    PatternContext pc;
    pc.allow_irrefutable = allow_irrefutable;
    check_pattern(pattern, pc);
}

}  // namespace norvex::pyast::compile_detail
