// The symbol table's walk: every scope's names, and the errors found while collecting them.
#include "norvex/pyast/compile_check_impl.hpp"

namespace norvex::pyast::compile_detail {

namespace {

std::string quoted(std::string_view name) { return "'" + std::string(name) + "'"; }

class SymtableBuilder {
public:
    SymtableBuilder(const FutureFeatures& future, SymbolTable& table) : future_(future), table_(table) {}

    void run(const Node* module) {
        Block* top = new_block(BlockType::Module, module);
        table_.top = top;
        stack_.push_back(top);
        for (const Node* s : as<Module>(module)->body) visit_stmt(s);
    }

private:
    const FutureFeatures& future_;
    SymbolTable& table_;
    std::vector<Block*> stack_;
    std::string_view private_;  // the class whose private names are mangled
    int depth_ = 0;

    Block* cur() const { return stack_.back(); }
    bool in_async_def() const { return cur()->type == BlockType::Function && cur()->coroutine; }

    Block* new_block(BlockType type, const Node* node) {
        table_.blocks.push_back(std::make_unique<Block>());
        Block* block = table_.blocks.back().get();
        block->type = type;
        if (node != nullptr && table_.by_node.find(node) == table_.by_node.end()) table_.by_node[node] = block;
        return block;
    }
    // Enters a new scope as a child of the current one.
    Block* enter(BlockType type, const Node* node) {
        Block* block = new_block(type, node);
        if (!stack_.empty()) cur()->children.push_back(block);
        stack_.push_back(block);
        return block;
    }
    void enter_existing(Block* block, bool add_to_children) {
        if (add_to_children) cur()->children.push_back(block);
        stack_.push_back(block);
    }
    void exit() { stack_.pop_back(); }

    // A private name (__x) inside a class is stored as _Class__x.
    std::string_view mangle(std::string_view name) {
        if (private_.empty() || name.size() < 2 || name.substr(0, 2) != "__") return name;
        if (name.substr(name.size() - 2) == "__" || name.find('.') != std::string_view::npos) return name;
        std::string_view cls = private_;
        while (!cls.empty() && cls.front() == '_') cls.remove_prefix(1);
        if (cls.empty()) return name;
        return table_.mangled_names.emplace_back("_" + std::string(cls) + std::string(name));
    }

    std::uint32_t lookup(std::string_view name) { return cur()->lookup(mangle(name)); }

    void check_name(std::string_view name, Location where, ExprContext ctx) {
        if (name != "__debug__") return;
        if (ctx == ExprContext::Store) fail("cannot assign to __debug__", where);
        if (ctx == ExprContext::Del) fail("cannot delete __debug__", where);
    }

    void add_def(std::string_view name, std::uint32_t flag, Location where) { add_def_in(name, flag, cur(), where); }

    void add_def_in(std::string_view name, std::uint32_t flag, Block* block, Location where) {
        const std::string_view mangled = mangle(name);
        std::uint32_t& val = block->entry(mangled);
        if ((flag & DEF_PARAM) && (val & DEF_PARAM)) {
            fail("duplicate argument " + quoted(name) + " in function definition", where);
        }
        if ((flag & DEF_TYPE_PARAM) && (val & DEF_TYPE_PARAM)) fail("duplicate type parameter " + quoted(name), where);
        val |= flag;
        if (block->comp_iter_target) {
            if (val & (DEF_GLOBAL | DEF_NONLOCAL)) {
                fail("comprehension inner loop cannot rebind assignment expression target " + quoted(name), where);
            }
            val |= DEF_COMP_ITER;
        }
        // A global declaration anywhere marks the module's own entry too.
        if ((flag & DEF_GLOBAL) && block != table_.top) table_.top->entry(mangled) |= flag;
    }

    void record_directive(std::string_view name, Location where) {
        cur()->directives.emplace_back(mangle(name), where);
    }

    // yield, await and := are not allowed where CPython evaluates lazily.
    void raise_if_annotation_block(const char* what, const Node* e) {
        const Block* block = cur();
        std::string message;
        switch (block->type) {
            case BlockType::Annotation: message = std::string(what) + " cannot be used within an annotation"; break;
            case BlockType::TypeVariable: message = std::string(what) + " cannot be used within " + block->scope_info; break;
            case BlockType::TypeAlias: message = std::string(what) + " cannot be used within a type alias"; break;
            case BlockType::TypeParameters:
                message = std::string(what) + " cannot be used within the definition of a generic";
                break;
            default: return;
        }
        fail(message, location_of(e));
    }

    void visit_stmts(const NodeList& list) {
        for (const Node* s : list) visit_stmt(s);
    }
    void visit_exprs(const NodeList& list) {
        for (const Node* e : list) {
            if (e != nullptr) visit_expr(e);
        }
    }

    void visit_function(const Node* s, std::string_view name, const Node* args_node, const NodeList& body,
                        const NodeList& decorators, const Node* returns, const NodeList& type_params, bool is_async) {
        check_name(name, location_of(s), ExprContext::Store);
        add_def(name, DEF_LOCAL, location_of(s));
        const auto* args = as<arguments>(args_node);
        visit_exprs(args->defaults);
        visit_exprs(args->kw_defaults);
        visit_exprs(decorators);
        const bool generic = !type_params.empty();
        if (generic) {
            enter(BlockType::TypeParameters, nullptr);
            for (const Node* tp : type_params) visit_type_param(tp);
        }
        Block* function = new_block(BlockType::Function, s);
        function->coroutine = is_async;
        visit_annotations(args, returns);
        enter_existing(function, true);
        visit_arguments(args);
        visit_stmts(body);
        exit();
        if (generic) exit();
    }

    void visit_annotations(const arguments* args, const Node* returns) {
        enter(BlockType::Annotation, nullptr);
        auto each = [this](const NodeList& list) {
            for (const Node* a : list) {
                if (const Node* annotation = as<arg>(a)->annotation) visit_expr(annotation);
            }
        };
        each(args->posonlyargs);
        each(args->args);
        if (args->vararg != nullptr && as<arg>(args->vararg)->annotation != nullptr) {
            visit_expr(as<arg>(args->vararg)->annotation);
        }
        if (args->kwarg != nullptr && as<arg>(args->kwarg)->annotation != nullptr) {
            visit_expr(as<arg>(args->kwarg)->annotation);
        }
        each(args->kwonlyargs);
        if (returns != nullptr) visit_expr(returns);
        exit();
    }

    // A variable annotation: evaluated lazily in the scope's one annotation block.
    void visit_annotation(const Node* annotation) {
        Block* parent = cur();
        const bool unevaluated = parent->type == BlockType::Function;
        if (parent->annotation_block == nullptr) {
            parent->annotation_block = enter(BlockType::Annotation, nullptr);
        } else {
            enter_existing(parent->annotation_block, false);
        }
        if (unevaluated) cur()->in_unevaluated_annotation = true;
        visit_expr(annotation);
        if (unevaluated) cur()->in_unevaluated_annotation = false;
        exit();
    }

    void visit_params(const NodeList& params) {
        for (const Node* p : params) {
            const auto* a = as<arg>(p);
            check_name(a->arg, location_of(p), ExprContext::Store);
            add_def(a->arg, DEF_PARAM, location_of(p));
        }
    }

    void visit_arguments(const arguments* args) {
        visit_params(args->posonlyargs);
        visit_params(args->args);
        visit_params(args->kwonlyargs);
        if (args->vararg != nullptr) {
            check_name(as<arg>(args->vararg)->arg, location_of(args->vararg), ExprContext::Store);
            add_def(as<arg>(args->vararg)->arg, DEF_PARAM, location_of(args->vararg));
        }
        if (args->kwarg != nullptr) {
            check_name(as<arg>(args->kwarg)->arg, location_of(args->kwarg), ExprContext::Store);
            add_def(as<arg>(args->kwarg)->arg, DEF_PARAM, location_of(args->kwarg));
        }
    }

    void visit_type_param(const Node* tp) {
        auto bound_or_default = [this](const Node* e, std::string info) {
            if (e == nullptr) return;
            Block* block = enter(BlockType::TypeVariable, nullptr);
            block->scope_info = std::move(info);
            visit_expr(e);
            exit();
        };
        if (const auto* tv = as<TypeVar>(tp)) {
            check_name(tv->name, location_of(tp), ExprContext::Store);
            add_def(tv->name, DEF_TYPE_PARAM | DEF_LOCAL, location_of(tp));
            if (tv->bound != nullptr) {
                bound_or_default(tv->bound, is<Tuple>(tv->bound) ? "a TypeVar constraint" : "a TypeVar bound");
            }
            bound_or_default(tv->default_value, "a TypeVar default");
        } else if (const auto* ts = as<TypeVarTuple>(tp)) {
            check_name(ts->name, location_of(tp), ExprContext::Store);
            add_def(ts->name, DEF_TYPE_PARAM | DEF_LOCAL, location_of(tp));
            bound_or_default(ts->default_value, "a TypeVarTuple default");
        } else if (const auto* ps = as<ParamSpec>(tp)) {
            check_name(ps->name, location_of(tp), ExprContext::Store);
            add_def(ps->name, DEF_TYPE_PARAM | DEF_LOCAL, location_of(tp));
            bound_or_default(ps->default_value, "a ParamSpec default");
        }
    }

    void check_keywords(const NodeList& keywords) {
        for (const Node* k : keywords) {
            const auto* kw = as<keyword>(k);
            if (kw->arg.data() != nullptr) check_name(kw->arg, location_of(k), ExprContext::Store);
        }
    }

    void visit_keywords(const NodeList& keywords) {
        for (const Node* k : keywords) visit_expr(as<keyword>(k)->value);
    }

    void visit_declaration(const Node* s, const IdentifierList& names, bool global) {
        const char* kind = global ? "global" : "nonlocal";
        for (Identifier name : names) {
            const std::uint32_t cur_flags = lookup(name);
            if (cur_flags & (DEF_PARAM | DEF_LOCAL | USE | DEF_ANNOT)) {
                std::string message;
                if (cur_flags & DEF_PARAM) {
                    message = "name " + quoted(name) + " is parameter and " + kind;
                } else if (cur_flags & USE) {
                    message = "name " + quoted(name) + " is used prior to " + kind + " declaration";
                } else if (cur_flags & DEF_ANNOT) {
                    message = "annotated name " + quoted(name) + " can't be " + kind;
                } else {
                    message = "name " + quoted(name) + " is assigned to before " + kind + " declaration";
                }
                fail(message, location_of(s));
            }
            add_def(name, global ? DEF_GLOBAL : DEF_NONLOCAL, location_of(s));
            record_directive(name, location_of(s));
        }
    }

    void visit_alias(const Node* node) {
        const auto* a = as<alias>(node);
        const std::string_view name = a->asname.data() != nullptr ? a->asname : a->name;
        if (name == "*") {
            if (cur()->type != BlockType::Module) fail("import * only allowed at module level", location_of(node));
            return;
        }
        const std::string_view store = name.substr(0, name.find('.'));
        check_name(store, location_of(node), ExprContext::Store);
        add_def(store, DEF_IMPORT, location_of(node));
    }

    template <typename ForNode>  // For or AsyncFor
    void visit_for(const ForNode* f) {
        visit_expr(f->target);
        visit_expr(f->iter);
        visit_stmts(f->body);
        visit_stmts(f->orelse);
    }

    template <typename WithNode>  // With or AsyncWith
    void visit_with(const WithNode* w) {
        for (const Node* item : w->items) {
            const auto* wi = as<withitem>(item);
            visit_expr(wi->context_expr);
            if (wi->optional_vars != nullptr) visit_expr(wi->optional_vars);
        }
        visit_stmts(w->body);
    }

    // Handlers come before the else block, unlike the code generator's order.
    template <typename TryNode>  // Try or TryStar
    void visit_try(const TryNode* t) {
        visit_stmts(t->body);
        for (const Node* h : t->handlers) {
            const auto* eh = as<ExceptHandler>(h);
            if (eh->type != nullptr) visit_expr(eh->type);
            if (eh->name.data() != nullptr) {
                check_name(eh->name, location_of(h), ExprContext::Store);
                add_def(eh->name, DEF_LOCAL, location_of(h));
            }
            visit_stmts(eh->body);
        }
        visit_stmts(t->orelse);
        visit_stmts(t->finalbody);
    }

    void visit_stmt(const Node* s) {
        switch (s->kind) {
            case NodeKind::FunctionDef: {
                const auto* f = as<FunctionDef>(s);
                visit_function(s, f->name, f->args, f->body, f->decorator_list, f->returns, f->type_params, false);
                break;
            }
            case NodeKind::AsyncFunctionDef: {
                const auto* f = as<AsyncFunctionDef>(s);
                visit_function(s, f->name, f->args, f->body, f->decorator_list, f->returns, f->type_params, true);
                break;
            }
            case NodeKind::ClassDef: {
                const auto* c = as<ClassDef>(s);
                check_name(c->name, location_of(s), ExprContext::Store);
                add_def(c->name, DEF_LOCAL, location_of(s));
                visit_exprs(c->decorator_list);
                const std::string_view saved = private_;
                const bool generic = !c->type_params.empty();
                if (generic) {
                    enter(BlockType::TypeParameters, nullptr);
                    private_ = c->name;
                    for (const Node* tp : c->type_params) visit_type_param(tp);
                }
                visit_exprs(c->bases);
                check_keywords(c->keywords);
                visit_keywords(c->keywords);
                enter(BlockType::Class, s);
                private_ = c->name;
                visit_stmts(c->body);
                exit();
                if (generic) exit();
                private_ = saved;
                break;
            }
            case NodeKind::TypeAlias: {
                const auto* t = as<TypeAlias>(s);
                visit_expr(t->name);
                const bool generic = !t->type_params.empty();
                if (generic) {
                    enter(BlockType::TypeParameters, nullptr);
                    for (const Node* tp : t->type_params) visit_type_param(tp);
                }
                enter(BlockType::TypeAlias, s);
                visit_expr(t->value);
                exit();
                if (generic) exit();
                break;
            }
            case NodeKind::Return:
                if (const Node* value = as<Return>(s)->value) visit_expr(value);
                break;
            case NodeKind::Delete: visit_exprs(as<Delete>(s)->targets); break;
            case NodeKind::Assign:
                visit_exprs(as<Assign>(s)->targets);
                visit_expr(as<Assign>(s)->value);
                break;
            case NodeKind::AnnAssign: {
                const auto* a = as<AnnAssign>(s);
                if (const auto* target = as<Name>(a->target)) {
                    const std::uint32_t cur_flags = lookup(target->id);
                    if ((cur_flags & (DEF_GLOBAL | DEF_NONLOCAL)) && cur() != table_.top && a->simple) {
                        fail("annotated name " + quoted(target->id) + " can't be " +
                                 ((cur_flags & DEF_GLOBAL) ? "global" : "nonlocal"),
                             location_of(s));
                    }
                    check_name(target->id, location_of(a->target), ExprContext::Store);
                    if (a->simple) {
                        add_def(target->id, DEF_ANNOT | DEF_LOCAL, location_of(a->target));
                    } else if (a->value != nullptr) {
                        add_def(target->id, DEF_LOCAL, location_of(a->target));
                    }
                } else {
                    visit_expr(a->target);
                }
                visit_annotation(a->annotation);
                if (a->value != nullptr) visit_expr(a->value);
                break;
            }
            case NodeKind::AugAssign:
                visit_expr(as<AugAssign>(s)->target);
                visit_expr(as<AugAssign>(s)->value);
                break;
            case NodeKind::For: visit_for(as<For>(s)); break;
            case NodeKind::AsyncFor:
                if (!in_async_def()) fail("'async for' outside async function", location_of(s));
                visit_for(as<AsyncFor>(s));
                break;
            case NodeKind::While:
                visit_expr(as<While>(s)->test);
                visit_stmts(as<While>(s)->body);
                visit_stmts(as<While>(s)->orelse);
                break;
            case NodeKind::If:
                visit_expr(as<If>(s)->test);
                visit_stmts(as<If>(s)->body);
                visit_stmts(as<If>(s)->orelse);
                break;
            case NodeKind::Match: {
                const auto* m = as<Match>(s);
                visit_expr(m->subject);
                for (const Node* c : m->cases) {
                    const auto* mc = as<match_case>(c);
                    visit_pattern(mc->pattern);
                    if (mc->guard != nullptr) visit_expr(mc->guard);
                    visit_stmts(mc->body);
                }
                break;
            }
            case NodeKind::Raise:
                if (as<Raise>(s)->exc != nullptr) visit_expr(as<Raise>(s)->exc);
                if (as<Raise>(s)->cause != nullptr) visit_expr(as<Raise>(s)->cause);
                break;
            case NodeKind::Try: visit_try(as<Try>(s)); break;
            case NodeKind::TryStar: visit_try(as<TryStar>(s)); break;
            case NodeKind::Assert:
                visit_expr(as<Assert>(s)->test);
                if (as<Assert>(s)->msg != nullptr) visit_expr(as<Assert>(s)->msg);
                break;
            case NodeKind::Import:
                for (const Node* a : as<Import>(s)->names) visit_alias(a);
                break;
            case NodeKind::ImportFrom: {
                const auto* i = as<ImportFrom>(s);
                for (const Node* a : i->names) visit_alias(a);
                const Location here = location_of(s);
                const Location last = future_.last_import;
                if (i->module.data() != nullptr && i->level == 0 && i->module == "__future__" &&
                    (here.lineno > last.lineno || (here.lineno == last.lineno && here.col_offset > last.col_offset))) {
                    fail("from __future__ imports must occur at the beginning of the file", here);
                }
                break;
            }
            case NodeKind::Global: visit_declaration(s, as<Global>(s)->names, true); break;
            case NodeKind::Nonlocal: visit_declaration(s, as<Nonlocal>(s)->names, false); break;
            case NodeKind::Expr: visit_expr(as<Expr>(s)->value); break;
            case NodeKind::With: visit_with(as<With>(s)); break;
            case NodeKind::AsyncWith:
                if (!in_async_def()) fail("'async with' outside async function", location_of(s));
                visit_with(as<AsyncWith>(s));
                break;
            default: break;  // Pass, Break, Continue
        }
    }

    void visit_pattern(const Node* p) {
        switch (p->kind) {
            case NodeKind::MatchValue: visit_expr(as<MatchValue>(p)->value); break;
            case NodeKind::MatchSequence:
                for (const Node* sub : as<MatchSequence>(p)->patterns) visit_pattern(sub);
                break;
            case NodeKind::MatchStar:
                if (as<MatchStar>(p)->name.data() != nullptr) {
                    check_name(as<MatchStar>(p)->name, location_of(p), ExprContext::Store);
                    add_def(as<MatchStar>(p)->name, DEF_LOCAL, location_of(p));
                }
                break;
            case NodeKind::MatchMapping: {
                const auto* m = as<MatchMapping>(p);
                visit_exprs(m->keys);
                for (const Node* sub : m->patterns) visit_pattern(sub);
                if (m->rest.data() != nullptr) {
                    check_name(m->rest, location_of(p), ExprContext::Store);
                    add_def(m->rest, DEF_LOCAL, location_of(p));
                }
                break;
            }
            case NodeKind::MatchClass: {
                const auto* m = as<MatchClass>(p);
                visit_expr(m->cls);
                for (const Node* sub : m->patterns) visit_pattern(sub);
                for (std::size_t i = 0; i < m->kwd_attrs.size() && i < m->kwd_patterns.size(); ++i) {
                    check_name(m->kwd_attrs[i], location_of(m->kwd_patterns[i]), ExprContext::Store);
                }
                for (const Node* sub : m->kwd_patterns) visit_pattern(sub);
                break;
            }
            case NodeKind::MatchAs: {
                const auto* m = as<MatchAs>(p);
                if (m->pattern != nullptr) visit_pattern(m->pattern);
                if (m->name.data() != nullptr) {
                    check_name(m->name, location_of(p), ExprContext::Store);
                    add_def(m->name, DEF_LOCAL, location_of(p));
                }
                break;
            }
            case NodeKind::MatchOr:
                for (const Node* sub : as<MatchOr>(p)->patterns) visit_pattern(sub);
                break;
            default: break;  // MatchSingleton
        }
    }

    // A name bound by := inside a comprehension belongs to the nearest
    // enclosing function or module; classes and lazily evaluated scopes refuse it.
    void extend_namedexpr_scope(const Node* target) {
        const Identifier name = as<Name>(target)->id;
        const std::string_view mangled = mangle(name);
        for (std::size_t i = stack_.size(); i-- > 0;) {
            Block* block = stack_[i];
            if (block->comprehension != Comprehension::None) {
                if (block->lookup(mangled) & DEF_COMP_ITER) {
                    fail("assignment expression cannot rebind comprehension iteration variable " + quoted(name),
                         location_of(target));
                }
                continue;
            }
            if (block->type == BlockType::Function) {
                const bool global = (block->lookup(mangled) & DEF_GLOBAL) != 0;
                add_def(name, global ? DEF_GLOBAL : DEF_NONLOCAL, location_of(target));
                record_directive(name, location_of(target));
                add_def_in(name, DEF_LOCAL, block, location_of(target));
                return;
            }
            if (block->type == BlockType::Module) {
                add_def(name, DEF_GLOBAL, location_of(target));
                record_directive(name, location_of(target));
                add_def_in(name, DEF_GLOBAL, block, location_of(target));
                return;
            }
            std::string message;
            switch (block->type) {
                case BlockType::Class:
                    message = "assignment expression within a comprehension cannot be used in a class body";
                    break;
                case BlockType::TypeParameters:
                    message = "assignment expression within a comprehension cannot be used within the definition of a generic";
                    break;
                case BlockType::TypeAlias:
                    message = "assignment expression within a comprehension cannot be used in a type alias";
                    break;
                case BlockType::TypeVariable:
                    message = "assignment expression within a comprehension cannot be used in a TypeVar bound";
                    break;
                default: continue;  // an annotation scope: look further out
            }
            fail(message, location_of(target));
        }
    }

    void handle_namedexpr(const Node* e) {
        const auto* n = as<NamedExpr>(e);
        if (cur()->comp_iter_expr > 0) {
            fail("assignment expression cannot be used in a comprehension iterable expression", location_of(e));
        }
        if (cur()->comprehension != Comprehension::None) extend_namedexpr_scope(n->target);
        visit_expr(n->value);
        visit_expr(n->target);
    }

    void handle_comprehension(const Node* e, const NodeList& generators, const Node* elt, const Node* value,
                              Comprehension kind) {
        const bool is_generator = kind == Comprehension::Generator;
        const auto* outermost = as<comprehension>(generators[0]);
        cur()->comp_iter_expr++;
        visit_expr(outermost->iter);
        cur()->comp_iter_expr--;
        Block* block = enter(BlockType::Function, e);
        block->comprehension = kind;
        if (outermost->is_async) block->coroutine = true;
        block->entry(".0") |= DEF_PARAM;
        block->comp_iter_target = true;
        visit_expr(outermost->target);
        block->comp_iter_target = false;
        visit_exprs(outermost->ifs);
        for (std::size_t i = 1; i < generators.size(); ++i) {
            const auto* gen = as<comprehension>(generators[i]);
            block->comp_iter_target = true;
            visit_expr(gen->target);
            block->comp_iter_target = false;
            block->comp_iter_expr++;
            visit_expr(gen->iter);
            block->comp_iter_expr--;
            visit_exprs(gen->ifs);
            if (gen->is_async) block->coroutine = true;
        }
        if (value != nullptr) visit_expr(value);
        visit_expr(elt);
        block->generator = is_generator;
        const bool is_async = block->coroutine && !is_generator;
        exit();
        block->comp_inlined = !is_generator;
        Block* enclosing = cur();
        if (is_async && !in_async_def() && enclosing->comprehension == Comprehension::None) {
            fail("asynchronous comprehension outside of an asynchronous function", location_of(e));
        }
        if (is_async) enclosing->coroutine = true;
    }

    // Left-nested chains (a + b + c, a.b.c, f()()) are as long as the source
    // makes them: their left spine is walked in a loop, not by recursion.
    void visit_chain(const Node* e) {
        std::vector<const Node*> spine;
        const Node* n = e;
        for (;;) {
            const Node* left = nullptr;
            switch (n->kind) {
                case NodeKind::BinOp: left = as<BinOp>(n)->left; break;
                case NodeKind::Call: left = as<Call>(n)->func; break;
                case NodeKind::Subscript: left = as<Subscript>(n)->value; break;
                case NodeKind::Attribute:
                    check_name(as<Attribute>(n)->attr, location_of(n), as<Attribute>(n)->ctx);
                    left = as<Attribute>(n)->value;
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
                visit_exprs(c->args);
                check_keywords(c->keywords);
                visit_keywords(c->keywords);
            } else if (const auto* sub = as<Subscript>(*it)) {
                visit_expr(sub->slice);
            }
        }
    }

    void visit_expr(const Node* e) {
        const DepthGuard guard(depth_);
        switch (e->kind) {
            case NodeKind::NamedExpr:
                raise_if_annotation_block("named expression", e);
                handle_namedexpr(e);
                break;
            case NodeKind::BoolOp: visit_exprs(as<BoolOp>(e)->values); break;
            case NodeKind::UnaryOp: {
                const Node* operand = as<UnaryOp>(e)->operand;
                while (is<UnaryOp>(operand)) operand = as<UnaryOp>(operand)->operand;
                visit_expr(operand);
                break;
            }
            case NodeKind::BinOp:
            case NodeKind::Call:
            case NodeKind::Attribute:
            case NodeKind::Subscript: visit_chain(e); break;
            case NodeKind::Lambda: {
                const auto* l = as<Lambda>(e);
                const auto* args = as<arguments>(l->args);
                visit_exprs(args->defaults);
                visit_exprs(args->kw_defaults);
                enter(BlockType::Function, e);
                visit_arguments(args);
                visit_expr(l->body);
                exit();
                break;
            }
            case NodeKind::IfExp:
                visit_expr(as<IfExp>(e)->test);
                visit_expr(as<IfExp>(e)->body);
                visit_expr(as<IfExp>(e)->orelse);
                break;
            case NodeKind::Dict:
                visit_exprs(as<Dict>(e)->keys);
                visit_exprs(as<Dict>(e)->values);
                break;
            case NodeKind::Set: visit_exprs(as<Set>(e)->elts); break;
            case NodeKind::GeneratorExp:
                handle_comprehension(e, as<GeneratorExp>(e)->generators, as<GeneratorExp>(e)->elt, nullptr,
                                     Comprehension::Generator);
                break;
            case NodeKind::ListComp:
                handle_comprehension(e, as<ListComp>(e)->generators, as<ListComp>(e)->elt, nullptr, Comprehension::List);
                break;
            case NodeKind::SetComp:
                handle_comprehension(e, as<SetComp>(e)->generators, as<SetComp>(e)->elt, nullptr, Comprehension::Set);
                break;
            case NodeKind::DictComp:
                handle_comprehension(e, as<DictComp>(e)->generators, as<DictComp>(e)->key, as<DictComp>(e)->value,
                                     Comprehension::Dict);
                break;
            case NodeKind::Yield:
            case NodeKind::YieldFrom: {
                raise_if_annotation_block("yield expression", e);
                const Node* value = e->kind == NodeKind::Yield ? as<Yield>(e)->value : as<YieldFrom>(e)->value;
                if (value != nullptr) visit_expr(value);
                cur()->generator = true;
                switch (cur()->comprehension) {
                    case Comprehension::None: break;
                    case Comprehension::List: fail("'yield' inside list comprehension", location_of(e));
                    case Comprehension::Set: fail("'yield' inside set comprehension", location_of(e));
                    case Comprehension::Dict: fail("'yield' inside dict comprehension", location_of(e));
                    case Comprehension::Generator: fail("'yield' inside generator expression", location_of(e));
                }
                break;
            }
            case NodeKind::Await:
                raise_if_annotation_block("await expression", e);
                if (!cur()->function_like()) fail("'await' outside function", location_of(e));
                // Inside a comprehension it makes the comprehension asynchronous
                // instead, which is checked where the comprehension ends.
                if (!in_async_def() && cur()->comprehension == Comprehension::None) {
                    fail("'await' outside async function", location_of(e));
                }
                visit_expr(as<Await>(e)->value);
                cur()->coroutine = true;
                break;
            case NodeKind::Compare:
                visit_expr(as<Compare>(e)->left);
                visit_exprs(as<Compare>(e)->comparators);
                break;
            case NodeKind::FormattedValue:
                visit_expr(as<FormattedValue>(e)->value);
                if (as<FormattedValue>(e)->format_spec != nullptr) visit_expr(as<FormattedValue>(e)->format_spec);
                break;
            case NodeKind::Interpolation:
                visit_expr(as<Interpolation>(e)->value);
                if (as<Interpolation>(e)->format_spec != nullptr) visit_expr(as<Interpolation>(e)->format_spec);
                break;
            case NodeKind::JoinedStr: visit_exprs(as<JoinedStr>(e)->values); break;
            case NodeKind::TemplateStr: visit_exprs(as<TemplateStr>(e)->values); break;
            case NodeKind::Starred: visit_expr(as<Starred>(e)->value); break;
            case NodeKind::Slice:
                if (as<Slice>(e)->lower != nullptr) visit_expr(as<Slice>(e)->lower);
                if (as<Slice>(e)->upper != nullptr) visit_expr(as<Slice>(e)->upper);
                if (as<Slice>(e)->step != nullptr) visit_expr(as<Slice>(e)->step);
                break;
            case NodeKind::Name: {
                const auto* n = as<Name>(e);
                check_name(n->id, location_of(e), n->ctx);
                if (!cur()->in_unevaluated_annotation) {
                    add_def(n->id, n->ctx == ExprContext::Load ? USE : DEF_LOCAL, location_of(e));
                }
                // super() with no arguments reads the __class__ cell.
                if (n->ctx == ExprContext::Load && cur()->function_like() && n->id == "super") {
                    add_def("__class__", USE, location_of(e));
                }
                break;
            }
            case NodeKind::List: visit_exprs(as<List>(e)->elts); break;
            case NodeKind::Tuple: visit_exprs(as<Tuple>(e)->elts); break;
            default: break;  // Constant
        }
    }
};

}  // namespace

void build_symtable(const Node* module, const FutureFeatures& future, SymbolTable& table) {
    SymtableBuilder(future, table).run(module);
}

}  // namespace norvex::pyast::compile_detail
