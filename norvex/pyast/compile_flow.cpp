// The code generator's checks: where return, yield, await, break and continue may stand, block nesting, targets, calls.
#include "norvex/pyast/compile_check_impl.hpp"

#include "norvex/pyast/tree_services.hpp"

namespace norvex::pyast::compile_detail {

namespace {

// CPython's limit on statically nested blocks in one code object.
constexpr std::size_t kMaxBlocks = 21;

enum class ScopeKind : std::uint8_t { Module, Class, Function, AsyncFunction, Lambda, Comprehension, Annotations };

enum class FBlockType : std::uint8_t {
    WhileLoop, ForLoop, AsyncForLoop, TryExcept, FinallyTry, FinallyEnd, With, AsyncWith, HandlerCleanup,
    PopValue, ExceptionHandler, ExceptionGroupHandler, AsyncComprehensionGenerator, StopIteration,
};

struct FBlock {
    FBlockType type;
    const NodeList* finalbody = nullptr;  // FinallyTry: compiled again wherever control leaves the try
};

// One code object being generated: its kind, its scope and its open blocks.
struct Unit {
    ScopeKind kind;
    const Block* ste = nullptr;
    std::vector<FBlock> fblocks;
    std::vector<const Node*> deferred_annotations;

    bool function_like() const noexcept { return kind != ScopeKind::Module && kind != ScopeKind::Class; }
};

bool is_loop(FBlockType type) {
    return type == FBlockType::WhileLoop || type == FBlockType::ForLoop || type == FBlockType::AsyncForLoop;
}

class CodegenChecker {
public:
    CodegenChecker(const FutureFeatures& future, const SymbolTable& table) : future_(future), table_(table) {}

    void run(const Node* module) {
        units_.push_back(Unit{ScopeKind::Module, table_.top, {}, {}});
        visit_stmts(as<Module>(module)->body);
        finish_deferred_annotations();
    }

private:
    const FutureFeatures& future_;
    const SymbolTable& table_;
    std::vector<Unit> units_;
    int depth_ = 0;

    Unit& unit() { return units_.back(); }

    const Block* block_of(const Node* node) const {
        auto it = table_.by_node.find(node);
        return it == table_.by_node.end() ? nullptr : it->second;
    }

    void enter_unit(ScopeKind kind, const Block* ste) {
        units_.push_back(Unit{kind, ste, {}, {}});
        // Generators and coroutines run inside a handler that turns a
        // leaking StopIteration into an error: one block of the limit.
        if (ste != nullptr && (kind == ScopeKind::Function || kind == ScopeKind::AsyncFunction ||
                               kind == ScopeKind::Lambda) &&
            (ste->generator || ste->coroutine)) {
            unit().fblocks.push_back({FBlockType::StopIteration});
        }
    }
    void exit_unit() { units_.pop_back(); }

    void push_fblock(FBlockType type, Location where, const NodeList* finalbody = nullptr) {
        if (unit().fblocks.size() >= kMaxBlocks) fail("too many statically nested blocks", where);
        unit().fblocks.push_back({type, finalbody});
    }
    void pop_fblock() { unit().fblocks.pop_back(); }

    // Leaving blocks for break, continue or return compiles the finally
    // bodies in between once more, at the depth where each try began.
    // Returns whether a loop was reached (only looked for when wanted).
    // (The finally body may open units of its own, so the unit is looked up
    // afresh each time rather than held by reference.)
    bool unwind(Location where, bool preserve_tos, bool want_loop) {
        for (std::size_t i = unit().fblocks.size(); i-- > 0;) {
            const FBlock top = unit().fblocks[i];
            if (top.type == FBlockType::ExceptionGroupHandler) {
                fail("'break', 'continue' and 'return' cannot appear in an except* block", where);
            }
            if (want_loop && is_loop(top.type)) return true;
            if (top.type == FBlockType::FinallyTry) {
                std::vector<FBlock> saved = unit().fblocks;
                unit().fblocks.resize(i);
                if (preserve_tos) push_fblock(FBlockType::PopValue, where);
                visit_stmts(*top.finalbody);
                unit().fblocks = std::move(saved);
            }
        }
        return false;
    }

    void visit_stmts(const NodeList& list) {
        for (const Node* s : list) visit_stmt(s);
    }
    void visit_exprs(const NodeList& list) {
        for (const Node* e : list) {
            if (e != nullptr) visit_expr(e);
        }
    }

    void finish_deferred_annotations() {
        if (unit().deferred_annotations.empty()) return;
        std::vector<const Node*> annotations = std::move(unit().deferred_annotations);
        enter_unit(ScopeKind::Annotations, nullptr);
        for (const Node* a : annotations) visit_expr(a);
        exit_unit();
    }

    void visit_type_params(const NodeList& type_params) {
        for (const Node* tp : type_params) {
            const Node* bound = nullptr;
            const Node* default_value = nullptr;
            if (const auto* tv = as<TypeVar>(tp)) {
                bound = tv->bound;
                default_value = tv->default_value;
            } else if (const auto* ts = as<TypeVarTuple>(tp)) {
                default_value = ts->default_value;
            } else if (const auto* ps = as<ParamSpec>(tp)) {
                default_value = ps->default_value;
            }
            for (const Node* lazy : {bound, default_value}) {
                if (lazy == nullptr) continue;
                enter_unit(ScopeKind::Annotations, nullptr);
                visit_expr(lazy);
                exit_unit();
            }
        }
    }

    void visit_function_annotations(const arguments* args, const Node* returns) {
        if (future_.annotations) return;  // kept as strings, never compiled
        enter_unit(ScopeKind::Annotations, nullptr);
        auto each = [this](const NodeList& list) {
            for (const Node* a : list) {
                if (const Node* annotation = as<arg>(a)->annotation) visit_expr(annotation);
            }
        };
        each(args->args);
        each(args->posonlyargs);
        if (args->vararg != nullptr) {
            if (const Node* annotation = as<arg>(args->vararg)->annotation) {
                // *args: *Ts unpacks the annotation.
                const auto* starred = as<Starred>(annotation);
                visit_expr(starred != nullptr ? starred->value : annotation);
            }
        }
        each(args->kwonlyargs);
        if (args->kwarg != nullptr && as<arg>(args->kwarg)->annotation != nullptr) {
            visit_expr(as<arg>(args->kwarg)->annotation);
        }
        if (returns != nullptr) visit_expr(returns);
        exit_unit();
    }

    void visit_function(const Node* s, const Node* args_node, const NodeList& body, const NodeList& decorators,
                        const Node* returns, const NodeList& type_params, bool is_async) {
        visit_exprs(decorators);
        const auto* args = as<arguments>(args_node);
        visit_exprs(args->defaults);
        visit_exprs(args->kw_defaults);
        const bool generic = !type_params.empty();
        if (generic) {
            enter_unit(ScopeKind::Annotations, nullptr);
            visit_type_params(type_params);
        }
        visit_function_annotations(args, returns);
        enter_unit(is_async ? ScopeKind::AsyncFunction : ScopeKind::Function, block_of(s));
        visit_stmts(body);
        exit_unit();
        if (generic) exit_unit();
    }

    void validate_keywords(const NodeList& keywords) {
        for (std::size_t i = 0; i < keywords.size(); ++i) {
            const Identifier name = as<keyword>(keywords[i])->arg;
            if (name.data() == nullptr) continue;
            for (std::size_t j = i + 1; j < keywords.size(); ++j) {
                const Identifier other = as<keyword>(keywords[j])->arg;
                if (other.data() != nullptr && other == name) {
                    fail("keyword argument repeated: " + std::string(name), location_of(keywords[j]));
                }
            }
        }
    }

    // Positional arguments, list, tuple and set displays: *x unpacks there.
    void visit_elements(const NodeList& elts) {
        for (const Node* e : elts) {
            const auto* starred = as<Starred>(e);
            visit_expr(starred != nullptr ? starred->value : e);
        }
    }

    void visit_call_arguments(const NodeList& args, const NodeList& keywords) {
        visit_elements(args);
        for (const Node* k : keywords) visit_expr(as<keyword>(k)->value);
    }

    // A list or tuple target: one starred element at most, then each element.
    void unpack_targets(const Node* target, const NodeList& elts) {
        bool seen_star = false;
        for (std::size_t i = 0; i < elts.size(); ++i) {
            if (!is<Starred>(elts[i])) continue;
            if (seen_star) fail("multiple starred expressions in assignment", location_of(target));
            if (i >= (1u << 8)) fail("too many expressions in star-unpacking assignment", location_of(target));
            seen_star = true;
        }
        visit_elements(elts);
    }

    void visit_with(const Node* s, const NodeList& items, const NodeList& body, std::size_t pos, bool is_async) {
        const auto* item = as<withitem>(items[pos]);
        visit_expr(item->context_expr);
        push_fblock(is_async ? FBlockType::AsyncWith : FBlockType::With, location_of(item->context_expr));
        if (item->optional_vars != nullptr) visit_expr(item->optional_vars);
        if (pos + 1 < items.size()) {
            visit_with(s, items, body, pos + 1, is_async);
        } else {
            visit_stmts(body);
        }
        pop_fblock();
    }

    void visit_handler_bodies(const NodeList& handlers, bool star) {
        for (std::size_t i = 0; i < handlers.size(); ++i) {
            const auto* h = as<ExceptHandler>(handlers[i]);
            if (!star && h->type == nullptr && i + 1 < handlers.size()) {
                fail("default 'except:' must be last", location_of(handlers[i]));
            }
            if (h->type != nullptr) visit_expr(h->type);
            push_fblock(FBlockType::HandlerCleanup, location_of(handlers[i]));
            visit_stmts(h->body);
            pop_fblock();
        }
    }

    template <typename TryNode>  // Try or TryStar
    void visit_try_except(const Node* s, const TryNode* t, bool star) {
        push_fblock(FBlockType::TryExcept, location_of(s));
        visit_stmts(t->body);
        pop_fblock();
        if (!star) visit_stmts(t->orelse);
        push_fblock(star ? FBlockType::ExceptionGroupHandler : FBlockType::ExceptionHandler, location_of(s));
        visit_handler_bodies(t->handlers, star);
        pop_fblock();
        if (star) visit_stmts(t->orelse);
    }

    template <typename TryNode>  // Try or TryStar
    void visit_try(const Node* s, const TryNode* t, bool star) {
        if (t->finalbody.empty()) {
            visit_try_except(s, t, star);
            return;
        }
        push_fblock(FBlockType::FinallyTry, location_of(s), &t->finalbody);
        if (!t->handlers.empty()) {
            visit_try_except(s, t, star);
        } else {
            visit_stmts(t->body);
        }
        pop_fblock();
        visit_stmts(t->finalbody);
        // The exceptional path compiles the finally body once more, a block deeper.
        push_fblock(FBlockType::FinallyEnd, location_of(s));
        visit_stmts(t->finalbody);
        pop_fblock();
    }

    template <typename ForNode>  // For or AsyncFor
    void visit_for(const Node* s, const ForNode* f, bool is_async) {
        visit_expr(f->iter);
        push_fblock(is_async ? FBlockType::AsyncForLoop : FBlockType::ForLoop, location_of(s));
        visit_expr(f->target);
        visit_stmts(f->body);
        pop_fblock();
        visit_stmts(f->orelse);
    }

    void visit_match(const Match* m) {
        visit_expr(m->subject);
        const std::size_t n = m->cases.size();
        const auto* last = as<match_case>(m->cases[n - 1]);
        const auto* last_as = as<MatchAs>(last->pattern);
        const bool has_default = n > 1 && last_as != nullptr && last_as->name.data() == nullptr;
        for (std::size_t i = 0; i < n; ++i) {
            const auto* c = as<match_case>(m->cases[i]);
            if (!(has_default && i + 1 == n)) check_case_pattern(c->pattern, c->guard != nullptr || i + 1 == n);
            if (c->guard != nullptr) visit_expr(c->guard);
            visit_stmts(c->body);
        }
    }

    void visit_return(const Node* s) {
        const Node* value = as<Return>(s)->value;
        if (!unit().function_like()) fail("'return' outside function", location_of(s));
        const Block* ste = unit().ste;
        if (value != nullptr && ste != nullptr && ste->coroutine && ste->generator) {
            fail("'return' with value in async generator", location_of(s));
        }
        const bool preserve_tos = value != nullptr && !is<Constant>(value);
        Location where = location_of(s);
        if (preserve_tos) visit_expr(value);
        if (value != nullptr && !preserve_tos && value->pos.lineno == s->pos.lineno) where = location_of(value);
        unwind(where, preserve_tos, false);
    }

    void visit_stmt(const Node* s) {
        switch (s->kind) {
            case NodeKind::FunctionDef: {
                const auto* f = as<FunctionDef>(s);
                visit_function(s, f->args, f->body, f->decorator_list, f->returns, f->type_params, false);
                break;
            }
            case NodeKind::AsyncFunctionDef: {
                const auto* f = as<AsyncFunctionDef>(s);
                visit_function(s, f->args, f->body, f->decorator_list, f->returns, f->type_params, true);
                break;
            }
            case NodeKind::ClassDef: {
                const auto* c = as<ClassDef>(s);
                visit_exprs(c->decorator_list);
                const bool generic = !c->type_params.empty();
                if (generic) {
                    enter_unit(ScopeKind::Annotations, nullptr);
                    visit_type_params(c->type_params);
                }
                enter_unit(ScopeKind::Class, block_of(s));
                visit_stmts(c->body);
                finish_deferred_annotations();
                exit_unit();
                // The class body is compiled before __build_class__ gets its arguments.
                validate_keywords(c->keywords);
                visit_call_arguments(c->bases, c->keywords);
                if (generic) exit_unit();
                break;
            }
            case NodeKind::Return: visit_return(s); break;
            case NodeKind::Delete: visit_exprs(as<Delete>(s)->targets); break;
            case NodeKind::Assign:
                visit_expr(as<Assign>(s)->value);
                visit_exprs(as<Assign>(s)->targets);
                break;
            case NodeKind::TypeAlias: {
                const auto* t = as<TypeAlias>(s);
                const bool generic = !t->type_params.empty();
                if (generic) {
                    enter_unit(ScopeKind::Annotations, nullptr);
                    visit_type_params(t->type_params);
                }
                enter_unit(ScopeKind::Annotations, nullptr);
                visit_expr(t->value);
                exit_unit();
                if (generic) exit_unit();
                break;
            }
            case NodeKind::AugAssign:
                visit_expr(as<AugAssign>(s)->target);
                visit_expr(as<AugAssign>(s)->value);
                break;
            case NodeKind::AnnAssign: {
                const auto* a = as<AnnAssign>(s);
                if (a->value != nullptr) {
                    visit_expr(a->value);
                    visit_expr(a->target);
                }
                if (is<Name>(a->target)) {
                    const bool stored = a->simple && (unit().kind == ScopeKind::Module || unit().kind == ScopeKind::Class);
                    if (stored && !future_.annotations) unit().deferred_annotations.push_back(a->annotation);
                } else if (a->value == nullptr) {
                    if (const auto* attr = as<Attribute>(a->target)) {
                        visit_expr(attr->value);
                    } else if (const auto* sub = as<Subscript>(a->target)) {
                        visit_expr(sub->value);
                        visit_expr(sub->slice);
                    }
                }
                break;
            }
            case NodeKind::For: visit_for(s, as<For>(s), false); break;
            case NodeKind::AsyncFor:
                if (unit().kind != ScopeKind::AsyncFunction) fail("'async for' outside async function", location_of(s));
                visit_for(s, as<AsyncFor>(s), true);
                break;
            case NodeKind::While: {
                const auto* w = as<While>(s);
                push_fblock(FBlockType::WhileLoop, location_of(s));
                visit_expr(w->test);
                visit_stmts(w->body);
                pop_fblock();
                visit_stmts(w->orelse);
                break;
            }
            case NodeKind::If:
                visit_expr(as<If>(s)->test);
                visit_stmts(as<If>(s)->body);
                visit_stmts(as<If>(s)->orelse);
                break;
            case NodeKind::With: visit_with(s, as<With>(s)->items, as<With>(s)->body, 0, false); break;
            case NodeKind::AsyncWith:
                if (unit().kind != ScopeKind::AsyncFunction) fail("'async with' outside async function", location_of(s));
                visit_with(s, as<AsyncWith>(s)->items, as<AsyncWith>(s)->body, 0, true);
                break;
            case NodeKind::Match: visit_match(as<Match>(s)); break;
            case NodeKind::Raise:
                if (as<Raise>(s)->exc != nullptr) visit_expr(as<Raise>(s)->exc);
                if (as<Raise>(s)->cause != nullptr) visit_expr(as<Raise>(s)->cause);
                break;
            case NodeKind::Try: visit_try(s, as<Try>(s), false); break;
            case NodeKind::TryStar: visit_try(s, as<TryStar>(s), true); break;
            case NodeKind::Assert:
                visit_expr(as<Assert>(s)->test);
                if (as<Assert>(s)->msg != nullptr) visit_expr(as<Assert>(s)->msg);
                break;
            case NodeKind::Expr:
                if (!is<Constant>(as<Expr>(s)->value)) visit_expr(as<Expr>(s)->value);
                break;
            case NodeKind::Break:
                if (!unwind(location_of(s), false, true)) fail("'break' outside loop", location_of(s));
                break;
            case NodeKind::Continue:
                if (!unwind(location_of(s), false, true)) fail("'continue' not properly in loop", location_of(s));
                break;
            default: break;  // Import, ImportFrom, Global, Nonlocal, Pass
        }
    }

    void visit_comprehension(const Node* e, const NodeList& generators, const Node* elt, const Node* value,
                             bool is_generator) {
        const Block* ste = block_of(e);
        const bool inlined = ste != nullptr && ste->comp_inlined;
        const auto* outermost = as<comprehension>(generators[0]);
        if (inlined) {
            visit_expr(outermost->iter);
        } else {
            enter_unit(ScopeKind::Comprehension, ste);
        }
        if (ste != nullptr && ste->coroutine && !is_generator && unit().kind != ScopeKind::AsyncFunction &&
            unit().kind != ScopeKind::Comprehension) {
            fail("asynchronous comprehension outside of an asynchronous function", location_of(e));
        }
        std::size_t pushed = 0;
        for (std::size_t i = 0; i < generators.size(); ++i) {
            const auto* gen = as<comprehension>(generators[i]);
            if (i > 0) visit_expr(gen->iter);
            if (gen->is_async) {
                push_fblock(FBlockType::AsyncComprehensionGenerator, location_of(e));
                ++pushed;
            }
            visit_expr(gen->target);
            visit_exprs(gen->ifs);
        }
        visit_expr(elt);
        if (value != nullptr) visit_expr(value);
        for (; pushed > 0; --pushed) pop_fblock();
        if (!inlined) {
            exit_unit();
            visit_expr(outermost->iter);
        }
    }

    // Left-nested chains (a + b + c, a.b.c, f()()) are as long as the source
    // makes them: their left spine is walked in a loop, not by recursion.
    // A call checks its keywords before anything inside it is compiled.
    void visit_chain(const Node* e) {
        std::vector<const Node*> spine;
        const Node* n = e;
        for (;;) {
            const Node* left = nullptr;
            switch (n->kind) {
                case NodeKind::BinOp: left = as<BinOp>(n)->left; break;
                case NodeKind::Attribute: left = as<Attribute>(n)->value; break;
                case NodeKind::Subscript: left = as<Subscript>(n)->value; break;
                case NodeKind::Call:
                    validate_keywords(as<Call>(n)->keywords);
                    left = as<Call>(n)->func;
                    break;
                default: break;
            }
            if (left == nullptr) break;
            spine.push_back(n);
            n = left;
        }
        visit_expr(n);
        for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
            if (const auto* b = as<BinOp>(*it)) {
                visit_expr(b->right);
            } else if (const auto* c = as<Call>(*it)) {
                visit_call_arguments(c->args, c->keywords);
            } else if (const auto* sub = as<Subscript>(*it)) {
                visit_expr(sub->slice);
            }
        }
    }

    void visit_expr(const Node* e) {
        const DepthGuard guard(depth_);
        switch (e->kind) {
            case NodeKind::Lambda: {
                const auto* l = as<Lambda>(e);
                const auto* args = as<arguments>(l->args);
                visit_exprs(args->defaults);
                visit_exprs(args->kw_defaults);
                enter_unit(ScopeKind::Lambda, block_of(e));
                visit_expr(l->body);
                exit_unit();
                break;
            }
            case NodeKind::Dict: {
                const auto* d = as<Dict>(e);
                for (std::size_t i = 0; i < d->values.size(); ++i) {
                    if (i < d->keys.size() && d->keys[i] != nullptr) visit_expr(d->keys[i]);
                    visit_expr(d->values[i]);
                }
                break;
            }
            case NodeKind::Set: visit_elements(as<Set>(e)->elts); break;
            case NodeKind::ListComp:
                visit_comprehension(e, as<ListComp>(e)->generators, as<ListComp>(e)->elt, nullptr, false);
                break;
            case NodeKind::SetComp:
                visit_comprehension(e, as<SetComp>(e)->generators, as<SetComp>(e)->elt, nullptr, false);
                break;
            case NodeKind::DictComp:
                visit_comprehension(e, as<DictComp>(e)->generators, as<DictComp>(e)->key, as<DictComp>(e)->value, false);
                break;
            case NodeKind::GeneratorExp:
                visit_comprehension(e, as<GeneratorExp>(e)->generators, as<GeneratorExp>(e)->elt, nullptr, true);
                break;
            case NodeKind::Yield:
                if (!unit().function_like()) fail("'yield' outside function", location_of(e));
                if (as<Yield>(e)->value != nullptr) visit_expr(as<Yield>(e)->value);
                break;
            case NodeKind::YieldFrom:
                if (!unit().function_like()) fail("'yield from' outside function", location_of(e));
                if (unit().kind == ScopeKind::AsyncFunction) fail("'yield from' inside async function", location_of(e));
                visit_expr(as<YieldFrom>(e)->value);
                break;
            case NodeKind::Await:
                if (!unit().function_like()) fail("'await' outside function", location_of(e));
                if (unit().kind != ScopeKind::AsyncFunction && unit().kind != ScopeKind::Comprehension) {
                    fail("'await' outside async function", location_of(e));
                }
                visit_expr(as<Await>(e)->value);
                break;
            case NodeKind::BinOp:
            case NodeKind::Call:
            case NodeKind::Attribute:
            case NodeKind::Subscript: visit_chain(e); break;
            case NodeKind::UnaryOp: {
                const Node* operand = as<UnaryOp>(e)->operand;
                while (is<UnaryOp>(operand)) operand = as<UnaryOp>(operand)->operand;
                visit_expr(operand);
                break;
            }
            case NodeKind::Starred:
                if (as<Starred>(e)->ctx == ExprContext::Store) {
                    fail("starred assignment target must be in a list or tuple", location_of(e));
                }
                fail("can't use starred expression here", location_of(e));
            case NodeKind::List:
                if (as<List>(e)->ctx == ExprContext::Store) {
                    unpack_targets(e, as<List>(e)->elts);
                } else {
                    visit_elements(as<List>(e)->elts);
                }
                break;
            case NodeKind::Tuple:
                if (as<Tuple>(e)->ctx == ExprContext::Store) {
                    unpack_targets(e, as<Tuple>(e)->elts);
                } else {
                    visit_elements(as<Tuple>(e)->elts);
                }
                break;
            case NodeKind::NamedExpr:
                visit_expr(as<NamedExpr>(e)->value);
                visit_expr(as<NamedExpr>(e)->target);
                break;
            default:
                // The rest evaluate their parts in field order.
                detail::for_each_child(e, [this](const Node* child) { visit_expr(child); });
                break;
        }
    }
};

}  // namespace

void check_codegen(const Node* module, const FutureFeatures& future, const SymbolTable& table) {
    CodegenChecker(future, table).run(module);
}

}  // namespace norvex::pyast::compile_detail
