from typing import Any, Dict, List, Tuple

def explain(
    text: str, settings: Dict[str, Any]
) -> Tuple[str, List[Tuple[str, int]], List[Tuple[int, int, str, str, str, int, int, int]]]: ...
