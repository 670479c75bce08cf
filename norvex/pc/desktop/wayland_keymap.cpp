// Keymaps of the Wayland desktop: the layout from xkb's rules, and the layout with lent keys, edited as text.
#include "norvex/pc/desktop/wayland_keymap.hpp"

#include "norvex/pc/desktop/desktop.hpp"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <cstdlib>
#include <sstream>
#include <unordered_map>

namespace norvex::pc::wl {

namespace {

// Media and vendor keysyms (XF86*): keys a text-typing desktop may borrow.
bool is_vendor_keysym(xkb_keysym_t sym) { return sym >= 0x10080000 && sym <= 0x1008FFFF; }

std::string layout_label(const std::string& layout, const std::string& variant) {
    std::string label = layout.empty() ? "the default xkb layout" : "xkb layout '" + layout + "'";
    if (!variant.empty()) label += " (variant '" + variant + "')";
    return label;
}

XkbKeymap compile(xkb_context* context, const std::string& text) {
    XkbKeymap keymap(xkb_keymap_new_from_string(context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) throw DesktopError("xkbcommon refused a keymap this desktop made for typing; report this as a bug");
    return keymap;
}

}  // namespace

std::string keymap_text(xkb_keymap* keymap) {
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    if (text == nullptr) throw DesktopError("xkbcommon cannot write the keyboard keymap out; check the xkb data (xkb-data)");
    std::string out(text);
    std::free(text);
    return out;
}

Keymap::Keymap(xkb_context* context, const std::string& layout, const std::string& variant) : context_(context) {
    xkb_rule_names names{};
    if (!layout.empty()) names.layout = layout.c_str();
    if (!variant.empty()) names.variant = variant.c_str();
    plain_.keymap.reset(xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!plain_.keymap)
        throw DesktopError("cannot compile the keyboard keymap of " + layout_label(layout, variant) +
                           "; check the layout's name and that xkb-data is installed");
    plain_.text = keymap_text(plain_.keymap.get());

    xkb_keymap* km = plain_.keymap.get();
    std::vector<xkb_keycode_t> vendor;
    // Keycodes above 255 reach Wayland clients but not X clients under XWayland: lend only the low ones.
    const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(km), 255);
    for (xkb_keycode_t code = xkb_keymap_min_keycode(km); code <= last; ++code) {
        if (xkb_keymap_key_get_name(km, code) == nullptr) continue;
        bool any = false;
        bool only_vendor = true;
        for (xkb_layout_index_t group = 0; group < xkb_keymap_num_layouts_for_key(km, code); ++group)
            for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(km, code, group); ++level) {
                const xkb_keysym_t* syms = nullptr;
                const int n = xkb_keymap_key_get_syms_by_level(km, code, group, level, &syms);
                for (int i = 0; i < n; ++i) {
                    any = true;
                    only_vendor = only_vendor && is_vendor_keysym(syms[i]);
                }
            }
        if (!any) lendable_.push_back(code);
        else if (only_vendor) vendor.push_back(code);
    }
    lendable_.insert(lendable_.end(), vendor.begin(), vendor.end());

    if (auto s = find(XKB_KEY_Shift_L)) shift_code_ = s->code;
    else if (auto r = find(XKB_KEY_Shift_R)) shift_code_ = r->code;
}

std::optional<Stroke> Keymap::find(xkb_keysym_t keysym) const {
    xkb_keymap* km = plain_.keymap.get();
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(km, XKB_MOD_NAME_SHIFT);
    const xkb_mod_mask_t shift_mask = shift == XKB_MOD_INVALID ? 0 : (xkb_mod_mask_t{1} << shift);
    std::optional<Stroke> shifted;
    for (xkb_keycode_t code = xkb_keymap_min_keycode(km); code <= xkb_keymap_max_keycode(km); ++code) {
        if (xkb_keymap_num_layouts_for_key(km, code) == 0) continue;
        const xkb_level_index_t levels = std::min<xkb_level_index_t>(xkb_keymap_num_levels_for_key(km, code, 0), 2);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(km, code, 0, level, &syms) != 1 || syms[0] != keysym) continue;
            xkb_mod_mask_t masks[8];
            const std::size_t n = xkb_keymap_key_get_mods_for_level(km, code, 0, level, masks, 8);
            for (std::size_t i = 0; i < n; ++i) {
                if (masks[i] == 0) return Stroke{code, false};
                if (masks[i] == shift_mask && shift_mask != 0 && !shifted) shifted = Stroke{code, true};
            }
        }
    }
    return shifted;
}

CompiledKeymap Keymap::extended(const std::vector<xkb_keysym_t>& keysyms) const {
    xkb_keymap* km = plain_.keymap.get();
    std::unordered_map<std::string, std::string> lines;  // key name -> its new symbols line
    for (std::size_t i = 0; i < keysyms.size() && i < lendable_.size(); ++i) {
        if (keysyms[i] == XKB_KEY_NoSymbol) continue;
        char sym_name[64];
        if (xkb_keysym_get_name(keysyms[i], sym_name, sizeof sym_name) < 0)
            throw DesktopError("xkbcommon has no name for keysym " + std::to_string(keysyms[i]) + ", so it cannot be typed");
        const std::string key = xkb_keymap_key_get_name(km, lendable_[i]);
        lines[key] = "\tkey <" + key + "> { [ " + sym_name + " ] };";
    }
    // The written keymap has one "key <NAME> ..." line per key inside its
    // xkb_symbols block, which ends with a line "};": a lent key's line is
    // replaced, and the lines of keys that had none go before the end.
    std::istringstream in(plain_.text);
    std::string out;
    out.reserve(plain_.text.size() + lines.size() * 48);
    std::string line;
    bool in_symbols = false;
    while (std::getline(in, line)) {
        if (line.rfind("xkb_symbols", 0) == 0) in_symbols = true;
        if (in_symbols && line == "};") {
            for (const auto& [key, text] : lines) out += text + "\n";
            lines.clear();
            in_symbols = false;
        }
        if (in_symbols && line.rfind("\tkey <", 0) == 0) {
            const std::size_t close = line.find('>');
            if (close != std::string::npos) {
                auto it = lines.find(line.substr(6, close - 6));
                if (it != lines.end()) {
                    out += it->second + "\n";
                    lines.erase(it);
                    continue;
                }
            }
        }
        out += line + "\n";
    }
    CompiledKeymap result;
    result.keymap = compile(context_, out);
    result.text = keymap_text(result.keymap.get());
    // Check the edit took: each lent key must now type its keysym.
    for (std::size_t i = 0; i < keysyms.size() && i < lendable_.size(); ++i) {
        if (keysyms[i] == XKB_KEY_NoSymbol) continue;
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(result.keymap.get(), lendable_[i], 0, 0, &syms) != 1 || syms[0] != keysyms[i])
            throw DesktopError("the keymap this desktop made for typing does not hold the characters it should; report this as a bug");
    }
    return result;
}

}  // namespace norvex::pc::wl
