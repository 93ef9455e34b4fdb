"""The rules: which small faults are put into the core, and where."""
import dataclasses
import fnmatch
import os
import re
import sys

from .cpp import KEYWORDS, Operand, TemplateBrackets, Tokenize
from .settings import CORE_DIRS, EQUIVALENT_LIST


@dataclasses.dataclass
class Mutant:
    path: str            # relative to the tree, with forward slashes
    start: int           # offsets into the source
    end: int
    original: str
    replacement: str
    mutator: str
    id: str = ""
    line: int = 0        # 1-based, of start and end
    column: int = 0
    end_line: int = 0
    end_column: int = 0
    key: str = ""        # what the equivalent list names it by
    status: str = ""
    reason: str = ""
    killed_by: str = ""

    def Describe(self):
        original = " ".join(self.original.split())
        if self.mutator == "StatementRemoval":
            return "removed: " + (original if len(original) <= 60 else original[:57] + "...")
        return f"{original} -> {self.replacement or '(nothing)'}"


RELATIONAL = {
    "<": ("<=", ">="),
    "<=": ("<", ">"),
    ">": (">=", "<="),
    ">=": (">", "<"),
    # Equality also becomes a relation: a gate written as > 0 where != 0 was
    # meant passes every test that tries no negative answer.
    "==": ("!=", "<=", ">="),
    "!=": ("==", "<", ">"),
}
ARITHMETIC = {"+": ("-",), "-": ("+",), "*": ("/",), "/": ("*",), "%": ("*",),
              "+=": ("-=",), "-=": ("+=",), "*=": ("/=",), "/=": ("*=",)}
LOGICAL = {"&&": ("||",), "||": ("&&",)}
UPDATE = {"++": ("--",), "--": ("++",)}
INTEGER = re.compile(r"^(0[xX][0-9a-fA-F']+|[0-9][0-9']*)([uUlLzZ]*)$")
STATEMENT_KEYWORDS = {"throw", "break", "continue", "delete"}
DECLARATION_FOLLOW = {"=", ";", ",", ")", "[", "{", "("}


def ShiftedIntegers(text):
    """The literal moved one down and one up, in its own notation and suffix."""
    match = INTEGER.match(text)
    if not match:
        return []
    digits, suffix = match.group(1).replace("'", ""), match.group(2)
    hexadecimal = digits[:2].lower() == "0x"
    if not hexadecimal and len(digits) > 1 and digits[0] == "0":
        return []  # octal: never used here, and a moved 08 would not compile
    value = int(digits, 16 if hexadecimal else 10)
    shown = []
    for moved in (value - 1, value + 1):
        if moved < 0:
            continue
        shown.append((f"0x{moved:X}" if hexadecimal else str(moved)) + suffix)
    return shown


def PureVirtual(tokens, i):
    """`= 0` that declares a pure virtual function."""
    return (tokens[i].text == "0" and i >= 2 and tokens[i - 1].text == "="
            and tokens[i - 2].text in (")", "const", "noexcept", "override"))


def PointerDeclarator(tokens, i):
    """`*` or `&&` in a declaration rather than an expression."""
    if i + 1 >= len(tokens):
        return False
    after = tokens[i + 1]
    if after.text in (")", ",", ">", "&", "...", "*", "operator"):
        return True
    previous = tokens[i - 1]
    if previous.kind == "ident" and previous.text in KEYWORDS:
        return True
    follow = tokens[i + 2].text if i + 2 < len(tokens) else ""
    if after.kind != "ident" or follow not in DECLARATION_FOLLOW or i < 2:
        return False
    # `Type* name` follows the start of a statement, a parameter list or a
    # qualified or qualified-const type; `a = b * c` does not.
    before = tokens[i - 2]
    if before.text in (";", "{", "}", "(", ",", "::", "<", ":"):
        return True
    return before.kind == "ident" and before.text in KEYWORDS and before.text not in (
        "return", "throw", "case")


def StatementStarts(tokens):
    """Indices where a statement may begin: after ; { } else, a label, or the
    closing parenthesis of an if, for, while or switch header."""
    starts = set()
    header_closers = set()
    stack = []
    for i, token in enumerate(tokens):
        if token.text == "(":
            owner = tokens[i - 1].text if i > 0 else ""
            stack.append((i, owner in ("if", "for", "while", "switch")))
        elif token.text == ")" and stack:
            _, header = stack.pop()
            if header:
                header_closers.add(i)
    # Statements live in function bodies only: not in namespaces, classes or enums.
    scopes = []
    body = set()
    for i, token in enumerate(tokens):
        if token.text == "{":
            j = i - 1
            while j >= 0 and tokens[j].text not in (";", "{", "}", ")", "=", "class",
                                                      "struct", "namespace", "enum", "union"):
                j -= 1
            declarative = i == 0 or (j >= 0 and tokens[j].text in (
                "class", "struct", "namespace", "enum", "union")) or (
                j < 0) or tokens[i - 1].kind == "string"
            scopes.append(not declarative)
        elif token.text == "}" and scopes:
            scopes.pop()
        if scopes and scopes[-1]:
            body.add(i)
    paren = 0
    for i, token in enumerate(tokens):
        if token.text == "(":
            paren += 1
        elif token.text == ")":
            paren -= 1
        if i + 1 not in body:
            continue
        if paren == 0 and (token.text in (";", "{", "}") or token.text == "else"):
            starts.add(i + 1)
        elif i in header_closers:
            starts.add(i + 1)
        elif token.text == ":" and i > 0 and paren == 0:
            # case X: / default: / public: -- but not the ? : operator.
            j = i - 1
            while j >= 0 and tokens[j].text not in (";", "{", "}", "?", "case", "default"):
                j -= 1
            if j >= 0 and tokens[j].text in ("case", "default"):
                starts.add(i + 1)
            elif i >= 1 and tokens[i - 1].text in ("public", "private", "protected"):
                starts.add(i + 1)
    return starts


def ExpressionStatementEnd(tokens, i, brackets):
    """The index of the `;` ending an expression statement starting at i, or None."""
    first = tokens[i]
    if first.kind == "ident":
        if first.text in KEYWORDS and first.text not in STATEMENT_KEYWORDS:
            return None
        if first.text not in STATEMENT_KEYWORDS:
            # Skip a qualified name and its template arguments; another name
            # right after it means a declaration.
            j = i + 1
            while j < len(tokens):
                if tokens[j].text == "::" and j + 1 < len(tokens):
                    j += 2
                elif tokens[j].text == "<" and j in brackets:
                    depth = 0
                    while j < len(tokens):
                        if tokens[j].text == "<":
                            depth += 1
                        elif tokens[j].text == ">":
                            depth -= 1
                        elif tokens[j].text == ">>":
                            depth -= 2
                        j += 1
                        if depth <= 0:
                            break
                else:
                    break
            while j < len(tokens) and tokens[j].text in ("*", "&", "&&", "const"):
                j += 1
            if j < len(tokens) and tokens[j].kind == "ident":
                return None
    elif first.text not in ("++", "--", "*"):
        return None
    depth = 0
    for j in range(i, len(tokens)):
        text = tokens[j].text
        if text in ("(", "["):
            depth += 1
        elif text in (")", "]"):
            depth -= 1
            if depth < 0:
                return None
        elif text in ("{", "}"):
            return None  # a lambda, a block, an initialiser: not one statement
        elif text == ";" and depth == 0:
            return j if j > i else None
    return None


def EnumBodies(tokens):
    """Indices of the tokens inside enum braces."""
    inside = set()
    for i, token in enumerate(tokens):
        if token.text != "enum":
            continue
        j = i
        while j < len(tokens) and tokens[j].text not in ("{", ";"):
            j += 1
        if j < len(tokens) and tokens[j].text == "{":
            k = j
            while k < len(tokens) and tokens[k].text != "}":
                inside.add(k)
                k += 1
    return inside


def FindMutants(path, source):
    tokens = Tokenize(source)
    brackets = TemplateBrackets(tokens)
    # Enumerators are identities handed across the COM boundary; moving one
    # changes nothing the native suite can see, so they are not mutated.
    enumerators = EnumBodies(tokens)
    mutants = []

    def Add(first, last, replacement, mutator):
        start, end = tokens[first].start, tokens[last].end
        mutants.append(Mutant(path, start, end, source[start:end], replacement, mutator))

    for i, token in enumerate(tokens):
        text = token.text
        previous = tokens[i - 1] if i > 0 else None
        following = tokens[i + 1] if i + 1 < len(tokens) else None
        after_operator = previous is not None and previous.text == "operator"
        if text in RELATIONAL and i not in brackets and not after_operator and previous and Operand(previous):
            for replacement in RELATIONAL[text]:
                Add(i, i, replacement, "EqualityOperator")
        elif text in ARITHMETIC and previous and Operand(previous) and not after_operator:
            near_text = previous.kind == "string" or (following and following.kind == "string")
            if text in ("*", "&&") and PointerDeclarator(tokens, i):
                continue
            if near_text:
                continue  # joining texts: the other operator would not compile
            for replacement in ARITHMETIC[text]:
                Add(i, i, replacement, "ArithmeticOperator")
        elif text in LOGICAL and previous and Operand(previous) and not PointerDeclarator(tokens, i):
            for replacement in LOGICAL[text]:
                Add(i, i, replacement, "LogicalOperator")
        elif text in UPDATE and not after_operator:
            for replacement in UPDATE[text]:
                Add(i, i, replacement, "UpdateOperator")
        elif text == "!" and following is not None:
            Add(i, i, "", "BooleanLiteral")
        elif text in ("true", "false") and not after_operator:
            Add(i, i, "false" if text == "true" else "true", "BooleanLiteral")
        elif token.kind == "number" and not PureVirtual(tokens, i) and i not in enumerators:
            for replacement in ShiftedIntegers(text):
                Add(i, i, replacement, "ConstantShift")

    for i in sorted(StatementStarts(tokens)):
        if i >= len(tokens):
            continue
        end = ExpressionStatementEnd(tokens, i, brackets)
        if end is not None:
            Add(i, end, "{}", "StatementRemoval")

    Locate(mutants, source)
    return mutants


def Locate(mutants, source):
    """Lines and columns (1-based) and the stable key of each mutant."""
    line_starts = [0] + [m.end() for m in re.finditer("\n", source)]

    def Position(offset):
        lo, hi = 0, len(line_starts) - 1
        while lo < hi:
            mid = (lo + hi + 1) // 2
            if line_starts[mid] <= offset:
                lo = mid
            else:
                hi = mid - 1
        return lo + 1, offset - line_starts[lo] + 1

    seen = {}
    for m in mutants:
        m.line, m.column = Position(m.start)
        m.end_line, m.end_column = Position(m.end)
        line_text = source[line_starts[m.line - 1]:].split("\n", 1)[0].strip()
        base = f"{m.path} | {line_text} | {m.Describe()}"
        count = seen.get(base, 0) + 1
        seen[base] = count
        m.key = base if count == 1 else f"{base} @{count}"


def CoreFiles(root, patterns=None, headers=False):
    files = []
    for directory in CORE_DIRS:
        for name in sorted(os.listdir(os.path.join(root, directory))):
            path = f"{directory}/{name}"
            if not name.endswith((".cpp", ".h") if headers else ".cpp"):
                continue
            if patterns and not any(fnmatch.fnmatch(path, p) for p in patterns):
                continue
            files.append(path)
    return files


def AllMutants(root, patterns=None, headers=False):
    mutants = []
    for path in CoreFiles(root, patterns, headers):
        with open(os.path.join(root, path), encoding="utf-8") as f:
            mutants.extend(FindMutants(path, f.read()))
    for number, m in enumerate(mutants, 1):
        m.id = str(number)
    return mutants


def ReadEquivalents(root):
    """key -> reason, from the reviewed list."""
    equivalents = {}
    path = os.path.join(root, EQUIVALENT_LIST)
    if not os.path.exists(path):
        return equivalents
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            key, separator, reason = line.rpartition(" | ")
            if not separator or not reason.strip():
                sys.exit(f"{EQUIVALENT_LIST}:{number}: 'file | line | mutation | reason' expected")
            equivalents[key] = reason.strip()
    return equivalents
