# Literals: strings, bytes, f-strings, t-strings and numbers.
a = 'single' "double" '''triple
quoted''' """also
triple"""
b = b'bytes' rb'\d' Br"\x" b'\x41\101\n'
c = u"unicode" "plain"
d = r'\n\t' '\n\t\\' '\x41\u00e9\U0001F600\N{BULLET}\N{LATIN SMALL LETTER A}' '\777' '\0'
e = f"{x}" f'{y!r:>{width}}' f"{z=}" f"{ z = !s:^10}" f"{{literal}}" f"a{{b{c}d}}e"
f = f"{'nested' + f'{inner}'}" f"{x:{y}.{z}f}" f"{a['k']}" f"{d["same quotes"]}"
g = f"""multi
{line!a}
end""" rf"\d{x}\n" fr'{y}\t'
h = t"hello {name}" t"{x=}" t"{y!r:>10}" t"plain"
i = 0, 1, 0x_ff, 0o777, 0b1010, 1_000_000, 123456789012345678901234567890, 0xFFFFFFFFFFFFFFFFFF
j = 1.5, 1e10, 1E-5, .5, 5., 1_0.0_1, 1e500, 3j, 1.5J, 0j, 1e-400
k = "\
continued" 'tab\tand\ttab'
l = f"{x!r}" f"{x:}" f"{x:{{}}}" f"{3.14:.2f}" f"{(yield)}"
m = "" f"" '' "x" f"{a}" "" f"{b}"
n = f"{x
+ 1}" f'''{
y}'''
o = "\N{EM DASH}\N{NO-BREAK SPACE}" "\ud800" "\udfff\U00010000"
p = f"\{x}" f"\\{x}" f"\N{BULLET}{x}"
q = 9223372036854775807, 9223372036854775808, -9223372036854775808, 0o1777777777777777777777
r = t"{x:{w}.{p}}" t"{a!s:>{b}}"
