"""Reading C++: just enough to tell code from comments, strings and templates."""
import dataclasses
import re

TOKEN = re.compile(
    r"""
    (?P<space>\s+)
  | (?P<comment>//[^\n]*|/\*.*?\*/)
  | (?P<raw>(?:u8|u|U|L)?R"(?P<delim>[^()\\\s]{0,16})\(.*?\)(?P=delim)")
  | (?P<string>(?:u8|u|U|L)?"(?:\\.|[^"\\\n])*")
  | (?P<char>(?:u8|u|U|L)?'(?:\\.|[^'\\\n])+')
  | (?P<number>\.?[0-9](?:[0-9a-zA-Z_.']|[eEpP][+-])*)
  | (?P<ident>[A-Za-z_][A-Za-z_0-9]*)
  | (?P<punct>\.\.\.|<<=|>>=|->\*|::|->|\+\+|--|<<|>>|<=|>=|==|!=|&&|\|\||[-+*/%&|^]=|[^\s])
    """,
    re.VERBOSE | re.DOTALL,
)


@dataclasses.dataclass
class Token:
    kind: str
    text: str
    start: int
    end: int


def Tokenize(source):
    """Code tokens of a C++ source; comments, blanks and preprocessor lines dropped."""
    tokens = []
    pos = 0
    line_start = True
    while pos < len(source):
        if line_start:
            # A directive runs to the end of its line and its continuations.
            match = re.compile(r"[ \t]*#(?:[^\n]*\\\n)*[^\n]*").match(source, pos)
            if match:
                pos = match.end()
                continue
        match = TOKEN.match(source, pos)
        kind = match.lastgroup if match.lastgroup != "delim" else "raw"
        text = match.group(0)
        if kind not in ("space", "comment"):
            tokens.append(Token("string" if kind == "raw" else kind, text, pos, match.end()))
        if kind == "space" and "\n" in text:
            line_start = True
        elif kind != "space":
            line_start = False
        pos = match.end()
    return tokens


KEYWORDS = {
    "alignas", "alignof", "auto", "bool", "break", "case", "catch", "char", "char16_t",
    "char32_t", "char8_t", "class", "const", "consteval", "constexpr", "constinit",
    "continue", "co_await", "co_return", "co_yield", "decltype", "default", "delete", "do",
    "double", "else", "enum", "explicit", "export", "extern", "false", "float", "for",
    "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new",
    "noexcept", "nullptr", "operator", "override", "private", "protected", "public",
    "return", "short", "signed", "sizeof", "static", "static_assert", "struct", "switch",
    "template", "this", "throw", "true", "try", "typedef", "typename", "union", "unsigned",
    "using", "virtual", "void", "volatile", "while",
}
# Tokens that may stand between the brackets of a template argument list.
TEMPLATE_INNER = {"::", ",", "*", "&", "&&", "...", "(", ")", "[", "]"}


def TemplateBrackets(tokens):
    """Indices of the `<`, `>` and `>>` tokens that bracket template arguments."""
    marked = set()
    for i, token in enumerate(tokens):
        if token.text != "<" or i == 0 or tokens[i - 1].kind != "ident":
            continue
        depth = 0
        inside = []
        for j in range(i, len(tokens)):
            t = tokens[j]
            if t.text == "<":
                depth += 1
            elif t.text == ">":
                depth -= 1
            elif t.text == ">>":
                depth -= 2
            elif not (t.kind in ("ident", "number") or t.text in TEMPLATE_INNER):
                break
            inside.append(j)
            if depth <= 0:
                if depth == 0:
                    marked.update(k for k in inside if tokens[k].text in ("<", ">", ">>"))
                break
    return marked


def Operand(token):
    """Whether a token can end an operand, so that what follows is a binary operator."""
    if token.kind in ("number", "string", "char"):
        return True
    if token.kind == "ident":
        return token.text not in KEYWORDS or token.text in ("this", "true", "false", "nullptr")
    return token.text in (")", "]")
