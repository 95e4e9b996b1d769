#!/usr/bin/env python3
"""policy_templates.py TEMPLATE.admx LANGUAGE.adml...: the files are well-formed XML, and each
language file has every text and presentation the template refers to (the Group Policy editor
shows none of the template's policies when one is missing)."""
import re
import sys
import xml.etree.ElementTree as ElementTree

NAMESPACE = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"


def main(template, languages):
    ElementTree.parse(template)
    with open(template, encoding="utf-8") as text:
        wanted = set(re.findall(r"\$\((string|presentation)\.([^)]+)\)", text.read()))
    failed = False
    for language in languages:
        resources = ElementTree.parse(language).getroot()
        present = {("string", s.get("id")) for s in resources.iter(NAMESPACE + "string")}
        present |= {("presentation", p.get("id")) for p in resources.iter(NAMESPACE + "presentation")}
        for kind, name in sorted(wanted - present):
            print(f"{language}: no {kind} {name}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
