from typing import Any, Dict, List, Tuple, Type, TypeVar

_C = TypeVar("_C", bound=Tuple[Any, ...])

def explain(text: str, settings: Dict[str, Any], change_type: Type[_C]) -> Tuple[str, Dict[str, int], List[_C]]: ...
